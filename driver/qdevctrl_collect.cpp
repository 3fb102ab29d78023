// The device object's side of the cyclic collection: references, the choice
// of the due rank, the read through the device hook and the store into the
// runtime's database.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "driver/dravik_vemo_pna.h"
#include "driver/qdevctrl.h"
#include "protocol/DevBas.h"

namespace {

const int COLLECT_FLAG_DUE = 1;
const int COLLECT_FLAG_STORE = 3;

// Database integers and the status entry are doubles cut toward zero; values
// outside the int range saturate and NaN stores 0.
int SaturateToInt(double value)
{
    // The usual value lies inside the range: one test for it (NaN fails it).
    if (value > static_cast<double>(INT_MIN) && value < static_cast<double>(INT_MAX)) return static_cast<int>(value);
    if (std::isnan(value)) return 0;
    return value > 0 ? INT_MAX : INT_MIN;
}

bool HasRows(const HOLN_DATA& data)
{
    return data.pMydata && data.pMydata->pDevTable && data.pMydata->pDevTable->GetRowCount() > 0;
}

// Index of the first entry from i on that holds 3, or count. A call stores
// one rank (and what the runtime itself passed as 3), so most entries of a
// large device are passed over: eight at a time, with one branch per eight
// that the compiler can turn into vector compares.
int NextToStore(const int* flag, int i, int count)
{
    const int GROUP = 8;
    for (; i + GROUP <= count; i += GROUP) {
        int hits = 0;
        for (int k = 0; k < GROUP; ++k) hits |= flag[i + k] == COLLECT_FLAG_STORE;
        if (hits) break;
    }
    while (i < count && flag[i] != COLLECT_FLAG_STORE) ++i;
    return i;
}

// True when one of count values is 3. Every call looks at all of the
// runtime's flags, so they are compared four at a time with vector
// operations (plain integer code where the target has none).
bool AnyStoreFlag(const int* flag, int count)
{
    typedef int32_t V4 __attribute__((vector_size(16)));
    const V4 store = {COLLECT_FLAG_STORE, COLLECT_FLAG_STORE, COLLECT_FLAG_STORE, COLLECT_FLAG_STORE};
    V4 hits = {0, 0, 0, 0};
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        V4 a;
        V4 b;
        std::memcpy(&a, flag + i, sizeof a);
        std::memcpy(&b, flag + i + 4, sizeof b);
        hits |= (a == store) | (b == store);
    }
    int any = hits[0] | hits[1] | hits[2] | hits[3];
    for (; i < count; ++i) any |= flag[i] == COLLECT_FLAG_STORE;
    return any != 0;
}

// True when one of the entries first + 1 .. last + 1 is due; entries beyond
// the array (channels the runtime passed no flag for) never are.
bool AnyDue(const CArray<int, int>& flags, int first, int last)
{
    int64_t from = static_cast<int64_t>(first) + 1;
    int64_t to = static_cast<int64_t>(last) + 1;
    if (from < 1) from = 1;
    if (to > flags.GetSize() - 1) to = flags.GetSize() - 1;
    for (int64_t i = from; i <= to; ++i) {
        if (flags[static_cast<int>(i)] == COLLECT_FLAG_DUE) return true;
    }
    return false;
}

}  // namespace

int CDevCtrl::ChannelRefChange(const int* refs, int count)
{
    if (!refs || count < 0) return DEV_ERR_BADARG;
    if (m_HolnData.pComm) m_HolnData.pComm->SetDevName(m_HolnData.strDevName);
    _InitValueArray(count);
    if (_InitPChanglRef(refs, count, m_RefFlag) != 0) return DEV_ERR_NORTDB;
    // Channels beyond the runtime's count are not referenced, whatever an
    // earlier call said about them.
    for (int i = count + 1; i < m_RefFlag.GetSize(); ++i) m_RefFlag[i] = 0;
    if (!HasRows(m_HolnData)) return 0;

    DEV_DATA& dev = *m_HolnData.pMydata;
    if (dev.DynBlockArray.GetSize() > 0) {
        dev.DynBlockArray.RemoveAll();
        dev.nRankNum = 0;
    }
    if (CDevBas::mfMakeBlock(m_HolnData, m_RefFlag, 1) == -1) return DEV_ERR_RESOURCE;
    return 0;
}

int CDevCtrl::CollectDevData(const int* flags, int count)
{
    if (count == 0 || !flags) return 0;
    if (!m_HolnData.pComm) return DEV_ERR_NOCOMM;
    m_HolnData.pComm->SetDevName(m_HolnData.strDevName);
    if (!m_ChangingChl.empty()) return DEV_ERR_ADDRCHANGE;
    _InitValueArray(count);
    if (!m_pDevRtdb || count < 0) return DEV_ERR_NORTDB;

    // The runtime's flags are copied; its array is only read.
    _InitCollectData(flags, count, m_CollectFlag);
    if (_InitSetReadIndex(m_CollectFlag) == 0) return 0;
    // A read marks 3 only inside the blocks of its rank; unless the runtime
    // passed a 3 itself, the store need not look at any other channel.
    const bool runtimeStores = AnyStoreFlag(m_CollectFlag.GetData() + 1, m_CollectFlag.GetSize() - 1);
    int first = 1;
    int last = m_CollectFlag.GetSize() - 1;
    if (!runtimeStores) RankEntries(*m_HolnData.pMydata, m_HolnData.pMydata->nCurRank, first, last);
    if (holn_device::SvrCollectDevData(m_HolnData, m_CollectFlag, m_Value, m_StrValue) == 0)
        StoreEntries(m_CollectFlag, m_Value, m_StrValue, first, last);
    return SaturateToInt(m_Value[0]);
}

// Picks the next rank with a due channel, round robin from the current one.
int CDevCtrl::_InitSetReadIndex(CArray<int, int>& flags)
{
    DEV_DATA* dev = m_HolnData.pMydata;
    if (!dev) return 0;
    CArray<DynBlock, DynBlock&>& blocks = dev->DynBlockArray;
    int count = blocks.GetSize();
    if (count == 0) {
        dev->nCurRank = 0;
        dev->nCurBlock = 0;
        return 0;
    }
    int current = dev->nCurRank;
    for (int i = 0; i < count; ++i) {
        if (blocks[i].nRank >= current && _NeedCollect(flags, blocks[i].nRank)) {
            dev->nCurRank = blocks[i].nRank;
            dev->nCurBlock = i;
            return 1;
        }
    }
    dev->nCurRank = 0;
    dev->nCurBlock = 0;
    for (int i = 0; i < count && blocks[i].nRank < current; ++i) {
        if (_NeedCollect(flags, blocks[i].nRank)) {
            dev->nCurRank = blocks[i].nRank;
            dev->nCurBlock = i;
            return 1;
        }
    }
    return 0;
}

int CDevCtrl::_NeedCollect(CArray<int, int>& flags, int rank)
{
    DEV_DATA* dev = m_HolnData.pMydata;
    if (!dev) return 0;
    CArray<DynBlock, DynBlock&>& blocks = dev->DynBlockArray;
    for (int i = 0; i < blocks.GetSize(); ++i) {
        if (blocks[i].nRank == rank && AnyDue(flags, blocks[i].nStartRow, blocks[i].nEndRow)) return 1;
    }
    return 0;
}

int CDevCtrl::_NeedCollect(int first, int last, CArray<int, int>& flags)
{
    return AnyDue(flags, first, last) ? 1 : 0;
}

// Entry 0 := 1, entry i + 1 := the runtime's flag i; the array grows only
// when it is too short for the count.
int CDevCtrl::_InitCollectData(const int* flags, int count, CArray<int, int>& out)
{
    if (!m_pDevRtdb || !flags || count < 0) return DEV_ERR_RESOURCE;
    if (out.GetSize() < count + 1) out.SetSize(count + 1);
    out[0] = 1;
    std::copy(flags, flags + count, out.GetData() + 1);
    return 0;
}

// Stores every channel of flag 3 by the type the database reports for it.
int CDevCtrl::_SetValueToRtdb(CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings)
{
    if (!m_pDevRtdb) return DEV_ERR_RESOURCE;
    StoreEntries(flags, values, strings, 1, flags.GetSize() - 1);
    return 0;
}

// Entries first .. last of the collect flags that a read of the rank can
// mark: those of its blocks' rows, clamped to the array.
void CDevCtrl::RankEntries(const DEV_DATA& dev, int rank, int& first, int& last) const
{
    const int lastEntry = m_CollectFlag.GetSize() - 1;
    int low = lastEntry + 1;
    int high = 0;
    for (int i = 0; i < dev.DynBlockArray.GetSize(); ++i) {
        const DynBlock& block = dev.DynBlockArray[i];
        if (block.nRank != rank) continue;
        low = std::min(low, std::min(std::max(block.nStartRow, 0), lastEntry) + 1);
        high = std::max(high, std::min(block.nEndRow, lastEntry - 1) + 1);
    }
    first = low;
    last = high;
}

// Stores the channels of flag 3 among entries first .. last.
void CDevCtrl::StoreEntries(CArray<int, int>& flags, CArray<double, double>& values, CStringArray& strings, int first,
                            int last)
{
    // The database cannot reach these arrays: their sizes and storage stay
    // put across its calls, so they are read once, not per channel.
    const int end = std::min(last + 1, flags.GetSize());
    const int* flag = flags.GetData();
    const int valueCount = values.GetSize();
    const double* value = values.GetData();
    for (int i = std::max(first, 1); i < end; ++i) {
        if (flag[i] != COLLECT_FLAG_STORE) {
            i = NextToStore(flag, i, end);
            if (i >= end) break;
        }
        int channel = i - 1;
        DATATYPE type = 0;
        if (m_pDevRtdb->GetValueTypeByChannel(channel, type) != 0) continue;
        if (type == DATATYPE_INT && i < valueCount) {
            m_pDevRtdb->SetValueByChannel(channel, SaturateToInt(value[i]));
        } else if (type == DATATYPE_DOUBLE && i < valueCount) {
            m_pDevRtdb->SetValueByChannel(channel, value[i]);
        } else if (type == DATATYPE_STRING && i < strings.GetSize()) {
            std::string text = strings[i].str();
            m_pDevRtdb->SetValueByChannel(channel, text);
        }
    }
}
