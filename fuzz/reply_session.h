// The fixed device of the reply fuzzer: channels of every area kind and data
// type, and the operations that send requests and decode replies. The seed
// maker runs the same session against the fake controller to record replies
// that the fuzzer then mutates.
#pragma once

#include <cstdint>

#include "host/hostif.h"
#include "support/fake_rtdb.h"

// Bytes of the input that select the device properties (byte orders, string
// encoding and order) before the reply records begin.
const int REPLY_CONFIG_BYTES = 2;

// Makes the device, runs every operation through the given channel, cleans up.
// config holds REPLY_CONFIG_BYTES bytes.
void RunReplySession(const uint8_t* config, ICommunication& line);
