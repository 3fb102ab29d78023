#include <gtest/gtest.h>

#include <cstdlib>

#include "config/DevConst.h"

TEST(Vocabulary, AreaCodesRunOutOfIndexOrder)
{
    EXPECT_EQ(CHL_STR_NAME[8], "SEM");
    EXPECT_EQ(CHL_STR_READORDER[7], "07");
    EXPECT_EQ(CHL_STR_READORDER[8], "12");
    EXPECT_EQ(CHL_STR_READORDER[9], "08");
    EXPECT_EQ(CHL_STR_READORDER[4], "0D");
    EXPECT_EQ(CHL_STR_READORDER[14], "80");
    EXPECT_EQ(CHL_STR_READORDER[28], "91");
    // The numeric codes are the same values as the texts.
    for (int a = 0; a < CHL_AREA_NUM; ++a) {
        SCOPED_TRACE(a);
        EXPECT_EQ(CHL_STR_READORDER[a].GetLength(), 2);
        EXPECT_EQ(CHL_BYTE_READORDER[a], std::strtoul(CHL_STR_READORDER[a], nullptr, 16));
    }
}

TEST(Vocabulary, AreaKindsSplitAtThirteen)
{
    for (int a = 0; a < CHL_AREA_NUM; ++a) {
        SCOPED_TRACE(a);
        const bool bitArea = a <= CHL_BITAREA_LAST;
        EXPECT_EQ(DEV_STR_ADDRESSFORMAT[a], "%.4d");
        EXPECT_EQ(DEV_STR_BITFORMAT[a], bitArea ? "" : ".%.2d");
        EXPECT_EQ(SELECT2_DWORD_PROPERTYNUM[a], bitArea ? 0u : 28u);
        EXPECT_EQ(DEV_READBLK_MAXNUM[a], bitArea ? 1024u : 120u);
        EXPECT_EQ(DEV_WRITEBLK_MAXNUM[a], bitArea ? 120u : 48u);
        EXPECT_EQ(CHLTYPE_DWORD_RWFLAG[a], 2u);
    }
}

TEST(Vocabulary, SelectionListsStartAtTheSumOfThoseBefore)
{
    uint32_t start = 0;
    for (int a = 0; a < CHL_AREA_NUM; ++a) {
        SCOPED_TRACE(a);
        if (a == 14) {
            EXPECT_EQ(start, 0u);
        }
        if (a == 28) {
            EXPECT_EQ(start, 392u);
        }
        for (uint32_t k = 0; k < SELECT2_DWORD_PROPERTYNUM[a]; ++k) {
            const CString& entry = SELECT2_STR_PROPERTYNAME[start + k];
            const CString& want = k < 16 ? DATATYPE_STR_SELECT2BITNAME[k] : DATATYPE_STR_SELECT2NAME[k - 16];
            EXPECT_EQ(entry, want);
        }
        start += SELECT2_DWORD_PROPERTYNUM[a];
    }
    EXPECT_EQ(start, static_cast<uint32_t>(SELECT2_TOTAL));
    EXPECT_EQ(SELECT2_STR_PROPERTYNAME[392], "通道的第00位");
    EXPECT_EQ(SELECT2_STR_PROPERTYNAME[419], "ASCII字符串");
}

TEST(Vocabulary, ChineseTextsAreUtf8)
{
    EXPECT_EQ(DEVROW_STR_CHLTYPE, "\xE9\x80\x9A\xE9\x81\x93\xE7\xB1\xBB\xE5\x9E\x8B");
    EXPECT_EQ(DEVROW_STR_CHLADDRESS, "DEV\xE9\x80\x9A\xE9\x81\x93\xE5\x9C\xB0\xE5\x9D\x80");
    EXPECT_EQ(CHLNAME_STR_RWFLAG[0], "\xE5\x8F\xAA\xE8\xAF\xBB");
    EXPECT_EQ(DATATYPE_STR_SELECT2BITNAME[15],
              "\xE9\x80\x9A\xE9\x81\x93\xE7\x9A\x84\xE7\xAC\xAC"
              "15\xE4\xBD\x8D");
    EXPECT_EQ(DATATYPE_STR_SELECT2NAME[10], "64\xE4\xBD\x8D \xE6\xB5\xAE\xE7\x82\xB9\xE6\x95\xB0");
}

TEST(Vocabulary, DevicePropertyOptionListsRestartAtZero)
{
    EXPECT_EQ(DEV_STR_PROPERTYNAME[0], "设备地址");
    EXPECT_EQ(DEV_STR_PROPERTYNAME[5], "字符串编码");
    EXPECT_EQ(DEV_STR_PROPERTYNAME[8], "64位浮点数解码顺序");
    // Options of properties 2-8, back to back.
    const int lengths[] = {2, 4, 4, 2, 2, 8, 8};
    int pos = 0;
    for (int len : lengths) {
        for (int k = 0; k < len; ++k) {
            SCOPED_TRACE(pos);
            CString lead;
            lead.Format("%d - ", k);
            EXPECT_EQ(DEV_STR_PROPERTLIST[pos].Left(4), lead);
            ++pos;
        }
    }
    EXPECT_EQ(pos, DEV_PROPERTLIST_NUM);
    EXPECT_EQ(DEV_STR_PROPERTLIST[11], "1 - UNICODE");
    EXPECT_EQ(DEV_STR_PROPERTLIST[12], "0 - 21");
    EXPECT_EQ(DEV_STR_PROPERTLIST[21], "7 - 8765_4321");
    EXPECT_EQ(DEV_STR_PROPERTLIST[26], "4 - 5678_1234");
}

TEST(Vocabulary, RowSchemaAndCommandKeywords)
{
    const CString* single[] = {&DEVROW_STR_CHLRWFLAG,  &DEVROW_STR_CHLTYPE,     &DEVROW_STR_CHLADDRESS,
                               &DEVROW_STR_CHLBIT,     &DEVROW_STR_CHLDATATYPE, &DEVROW_STR_CHLREADFASTFLAG,
                               &DEVROW_STR_CHLREADMAX, &DEVROW_STR_CHLNAME};
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i) EXPECT_EQ(DEVROW_STR_PROPERTYNAME[i], *single[i]);
    EXPECT_EQ(DEVROW_DWORD_PROPERTYTYPE[DEVROW_IDX_NAME], 2u);
    EXPECT_EQ(DEVROW_DWORD_PROPERTYTAXIS[DEVROW_IDX_TYPE] + DEVROW_DWORD_PROPERTYTAXIS[DEVROW_IDX_ADDRESS] +
                  DEVROW_DWORD_PROPERTYTAXIS[DEVROW_IDX_BIT],
              3u);

    const CString* cmds[] = {&DEV_STR_READ,      &DEV_STR_WRITE,      &DEV_STR_READ32,      &DEV_STR_WRITE32,
                             &DEV_STR_READP,     &DEV_STR_WRITEP,     &DEV_STR_READPV,      &DEV_STR_WRITEPV,
                             &DEV_STR_READBLOCK, &DEV_STR_WRITEBLOCK, &DEV_STR_READMUTIREG, &DEV_STR_WRITEMUTIREG};
    for (int i = 0; i < IOCTRL_COMMAND_NUM; ++i) {
        EXPECT_EQ(IOCTRL_STR_PROPERTYNAME[i], *cmds[i]);
        // Odd numbers are the writing commands.
        EXPECT_EQ(IOCTRL_STR_PROPERTYNAME[i].Left(5).CompareNoCase("WRITE") == 0, i % 2 == 1);
    }
    EXPECT_EQ(DEV_STR_READMUTIREG, "ReadMutiReg");
    EXPECT_EQ(DEV_STR_HOLNWRITE, "HOLN_WRITE");
}
