// Everything the driver takes from its host runtime.
#pragma once

#include "host/hostarray.h"
#include "host/hostif.h"
#include "host/hoststr.h"
