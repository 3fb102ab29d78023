// Test helper: installs the class-wide channel-row schema (eight properties
// from the vocabulary tables), as every device object's constructor does.
#pragma once

void InstallRowSchema();
