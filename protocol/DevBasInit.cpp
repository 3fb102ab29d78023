// Device state: the row schema, the device data read from the configuration
// blob, and the temporary states of IO-control commands.
#include "config/DevConst.h"
#include "config/OwnerArchive.h"
#include "protocol/DevBas.h"

namespace {
// Width of one device property value in the blob.
const int DEV_PROPERTY_BYTES = 4;

// The run-time fields as a freshly read device starts them.
void ResetRunState(DEV_DATA& dev)
{
    dev.nCurRank = -1;
    dev.nCurBlock = 0;
    dev.DynBlockArray.RemoveAll();
    dev.nDynBlockNum = 0;
    dev.nMixBlockNum = 0;
    dev.nRankNum = 0;
    dev.nKeepValue = 0;
    dev.nReserved3 = 0;
    dev.strMyReserved = "";
    dev.nWriteState1 = -1;
    dev.nWriteState2 = -1;
    dev.dwWriteTick = 0;
    dev.nReserved4 = 0;
    dev.nFrameSeq = 0;
}
}  // namespace

int CDevBas::mfInitBlockAndRow()
{
    CDevRow::SetPropertyNum(DEVROW_PROPERTY_NUM);
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i) {
        CDevRow::SetPropertyNameAndType(i, static_cast<int>(DEVROW_DWORD_PROPERTYTYPE[i]), DEVROW_STR_PROPERTYNAME[i],
                                        static_cast<int>(DEVROW_DWORD_PROPERTYTAXIS[i]));
    }
    return 1;
}

void CDevBas::mfCheckDevDataInit(HOLN_DATA& data)
{
    // An existing device state is never re-read.
    if (data.pMydata) return;
    DEV_DATA* dev = new DEV_DATA;
    data.pMydata = dev;
    dev->dwPropValue.SetSize(DEV_PROPERTY_NUM);
    dev->pDevTable = new CDevTable;
    if (data.pArchive && data.pArchive->SvrGetRealBufferSize() != 0) mfDeserialize(data);
    ResetRunState(*dev);
}

int CDevBas::mfDeserialize(HOLN_DATA& data)
{
    if (!data.pArchive || !data.pMydata) return -1;
    data.pArchive->SvrChangeMode(ARCHIVE_LOADING);
    // The marked format and the older unmarked one share one reader.
    if (data.pArchive->GetNowVersion() > ARCHIVE_FORMAT_MARKER) return -1;
    return mfDeserializeFromOld(data);
}

int CDevBas::mfDeserializeFromOld(HOLN_DATA& data)
{
    COwnerArchive* ar = data.pArchive;
    DEV_DATA* dev = data.pMydata;
    if (!ar || !dev) return 0;

    int count = 0;
    *ar >> count;
    // The count comes from the blob: never allocate more values than the
    // bytes behind it can fill; a negative count reads none.
    int fit = ar->SvrGetRemaining() / DEV_PROPERTY_BYTES;
    if (count < 0) count = 0;
    if (count > fit) count = fit;
    dev->dwPropValue.SetSize(count);
    for (int i = 0; i < count; ++i) {
        int value = 0;
        *ar >> value;
        dev->dwPropValue[i] = value;
    }

    if (dev->pDevTable) *ar >> *dev->pDevTable;
    return 0;
}

void CDevBas::mfCreateMydata(HOLN_DATA& source, HOLN_DATA& copy)
{
    if (&source == &copy) return;
    // A state left in the copy would otherwise leak.
    if (copy.pMydata) mfDeleteMydata(copy, nullptr);

    copy.strDevName = source.strDevName;
    copy.strReserved = source.strReserved;
    copy.nReserved1 = source.nReserved1;
    copy.pArchive = source.pArchive;
    copy.nCommType = source.nCommType;
    copy.pComm = source.pComm;
    copy.pRtdb = source.pRtdb;
    copy.nReserved2 = source.nReserved2;
    copy.pfnSetParamValue = source.pfnSetParamValue;
    copy.pfnGetParamValue = source.pfnGetParamValue;
    copy.pfnGetParamType = source.pfnGetParamType;

    DEV_DATA* dev = new DEV_DATA;
    const DEV_DATA* from = source.pMydata;
    if (from) {
        dev->dwPropValue.Copy(from->dwPropValue);
        dev->nKeepValue = from->nKeepValue;
        dev->nWriteState1 = from->nWriteState1;
        dev->nWriteState2 = from->nWriteState2;
        dev->dwWriteTick = from->dwWriteTick;
    }
    dev->nCurRank = 0;
    dev->nCurBlock = 0;
    dev->nDynBlockNum = 0;
    dev->nMixBlockNum = 0;
    dev->nRankNum = 0;
    dev->nReserved3 = 0;
    dev->strMyReserved = "";
    dev->nReserved4 = 0;
    dev->nFrameSeq = 0;
    dev->pDevTable = new CDevTable;
    copy.pMydata = dev;
}

int CDevBas::mfDeleteMydata(HOLN_DATA& data, DEV_DATA* save)
{
    DEV_DATA* dev = data.pMydata;
    if (!dev) return 1;
    // How a command's temporary state hands its write state back.
    if (save && save != dev) {
        save->nKeepValue = dev->nKeepValue;
        save->nWriteState1 = dev->nWriteState1;
        save->nWriteState2 = dev->nWriteState2;
        save->dwWriteTick = dev->dwWriteTick;
    }
    delete dev->pDevTable;
    dev->pDevTable = nullptr;
    delete dev;
    data.pMydata = nullptr;
    return 1;
}
