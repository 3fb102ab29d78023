// The driver's collection plan for a configuration: which request reads
// which channels, when every channel is referenced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/loaded_device.h"

namespace vemo {

struct PlannedBlock {
    int rank = 0;
    int area = 0;
    uint32_t start = 0;  // address of the block's first channel
    int length = 0;      // bits (bit areas) or registers (word areas)
    int firstRow = 0;
    int lastRow = 0;
    int linkFlag = 0;
};

struct BlockPlan {
    std::vector<PlannedBlock> blocks;  // in plan order
    int ranks = 0;                     // requests per full cycle
    int rows = 0;
    int readableRows = 0;   // read-only or read-write: decoded when their block is read
    int writeOnlyRows = 0;  // never read
    int unplannedRows = 0;  // readable, yet in no block (a table the planner cannot place)
};

// Plans with the driver's planner (CDevBas::mfMakeBlock) on the loaded
// device state, every channel referenced.
BlockPlan planCollection(LoadedDevice& device);

// Bytes of the reply to a block read.
int replyBytes(int area, int length);

std::string formatPlan(const BlockPlan& plan, LoadedDevice& device);

}  // namespace vemo
