// Collection: reads one rank per call, decodes it and marks its channels.
#include "protocol/DevBas.h"

namespace {

const int COLLECT_FLAG_STORE = 3;
const int COLLECT_FLAG_FAILED = 4;
// Header and byte count of a read reply.
const int REPLY_HEADER_BYTES = 9;
// Blocks longer than any request can carry get no room made in advance.
const int FRAME_TEXT_ROOM_LIMIT = 0x10000;

// Marks the channels of one block that the runtime passed above 0; rows
// without a flag entry are left alone.
void MarkBlock(const DynBlock& block, CArray<int, int>& flags, int flag)
{
    int first = block.nStartRow < 0 ? 0 : block.nStartRow;
    int last = block.nEndRow;
    if (last > flags.GetSize() - 2) last = flags.GetSize() - 2;
    if (last < first) return;
    int* entry = flags.GetData() + 1;
    for (int row = first; row <= last; ++row) {
        if (entry[row] > 0) entry[row] = flag;
    }
}

}  // namespace

// Reads the current rank once. A failure marks the rank's channels 4 and keeps
// the cursor, so the same rank is tried again on the next call; its error goes
// into entry 0 of values. After a success every due channel of the rank
// carries 3 and the cursor moves on to the next rank.
int CDevBas::mfCollectDevData(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                              CStringArray& strings)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev || dev->nRankNum < 1) return 0;
    int result = mfReadBlockFromDev(data, flags, values, strings, dev->nCurRank, 1);
    if (result != 0) {
        mfSetCollectFlag(data, flags, dev->nCurRank, COLLECT_FLAG_FAILED);
        if (values.GetSize() > 0) values[0] = -static_cast<double>(result);
        return DEV_PROTO_COLLECTFAIL;
    }
    // Every due channel of the rank is stored from the value arrays, also one
    // whose bytes did not come this time: it keeps its last decoded value.
    mfSetCollectFlag(data, flags, dev->nCurRank, COLLECT_FLAG_STORE);
    dev->nCurRank += 1;
    if (dev->nCurRank >= dev->nRankNum) {
        dev->nCurRank = 0;
        dev->nCurBlock = 0;
    }
    if (values.GetSize() > 0) values[0] = 0.0;
    return 0;
}

// Gives every channel of the rank that is above 0 the flag; after a stored
// read the block cursor moves to the first block of the next rank.
int CDevBas::mfSetCollectFlag(HOLN_DATA& data, CArray<int, int>& flags, int rank, int flag)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev) return 1;
    CArray<DynBlock, DynBlock&>& blocks = dev->DynBlockArray;
    int count = blocks.GetSize();
    int i = 0;
    for (; i < count && blocks[i].nRank <= rank; ++i) {
        if (blocks[i].nRank == rank) MarkBlock(blocks[i], flags, flag);
    }
    if (i < count && flag == COLLECT_FLAG_STORE) dev->nCurBlock = i;
    return 1;
}

// One read request for the first block of the rank at or after the block
// cursor, then the decode of its reply.
int CDevBas::mfReadBlockFromDev(HOLN_DATA& data, CArray<int, int>& flags, CArray<double, double>& values,
                                CStringArray& strings, int rank, int attempts)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev || !dev->pDevTable) return DEV_PROTO_NOBLOCK;
    CArray<DynBlock, DynBlock&>& blocks = dev->DynBlockArray;
    int count = blocks.GetSize();
    if (dev->nCurBlock < 0 || dev->nCurBlock >= count) return DEV_PROTO_NOBLOCK;
    int i = dev->nCurBlock;
    while (i < count && blocks[i].nRank != rank) ++i;
    if (i >= count) return DEV_PROTO_NOBLOCK;
    const DynBlock& block = blocks[i];
    CDevTable& table = *dev->pDevTable;
    // A plan that no longer fits the table is not read.
    if (block.nStartRow < 0 || block.nEndRow < block.nStartRow || block.nEndRow >= table.GetRowCount())
        return DEV_PROTO_NOBLOCK;

    int length = mfFetchBlockLen(table, block.nStartRow, block.nEndRow);
    CString& frame = dev->strReadFrame;
    frame.Empty();
    // Room for the reply's text from the start (two characters a byte, at
    // most two bytes an element): the request, its transaction number and
    // the reply then share one buffer instead of growing it three times.
    if (length > 0 && length < FRAME_TEXT_ROOM_LIMIT) {
        frame.GetBufferSetLength(2 * (REPLY_HEADER_BYTES + 2 * length) + 2);
        frame.ReleaseBuffer(0);
    }
    unsigned int expected =
        mfFormReadOrder(data, frame, table, DevPropValue(data, DEVPROP_STATION), length, block.nStartRow);
    int result = mfWriteAndRead(data, frame, expected, 0, attempts);
    if (result < 0) return result;
    mfExplainCommByteData(data, flags, values, strings, frame, rank, 0);
    return 0;
}
