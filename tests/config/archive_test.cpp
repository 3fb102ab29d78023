#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/OwnerArchive.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The first `count` bytes of the buffer (the whole written part by default).
Bytes Written(const COwnerArchive& ar, int count = -1)
{
    const CByteArray& buf = ar.GetBuffer();
    if (count < 0) count = ar.SvrGetBufferSize();
    return Bytes(buf.GetData(), buf.GetData() + count);
}

// An archive loaded the way device initialization loads a blob: written in
// storing mode, rewound, switched to loading.
void LoadBlob(COwnerArchive& ar, const Bytes& blob)
{
    ASSERT_EQ(ar.SvrWrite(blob.data(), static_cast<int>(blob.size())), 1);
    ar.SvrSeekToBegin();
    ar.SvrChangeMode(ARCHIVE_LOADING);
}

// A loading archive that holds exactly these bytes (no growth reserve), read
// from offset 0 whatever the first word is.
void LoadExact(COwnerArchive& ar, const Bytes& blob)
{
    ASSERT_EQ(ar.SvrWrite(blob.data(), static_cast<int>(blob.size())), 1);
    ar.SvrChangeMode(ARCHIVE_LOADING);  // non-zero cursor: cut to what was written
    ar.SvrSeekToBegin();
    ASSERT_EQ(ar.SvrGetRealBufferSize(), static_cast<int>(blob.size()));
}

class IntObject : public COwnerObject {
public:
    int value = 0;
    void Serialize(COwnerArchive& ar) override
    {
        if (ar.IsStoring())
            ar << value;
        else
            ar >> value;
    }
};

}  // namespace

TEST(ArchiveBytes, StringsAreLengthPlusBytes)
{
    COwnerArchive ar(ARCHIVE_STORING);
    ar << CString("abc");
    EXPECT_EQ(Written(ar), (Bytes{0x03, 0, 0, 0, 'a', 'b', 'c'}));

    COwnerArchive empty(ARCHIVE_STORING);
    empty << CString();
    EXPECT_EQ(Written(empty), (Bytes{0, 0, 0, 0}));

    // The stored text ends at the first NUL.
    COwnerArchive nul(ARCHIVE_STORING);
    nul << CString("ab\0cd", 5);
    EXPECT_EQ(Written(nul), (Bytes{0x02, 0, 0, 0, 'a', 'b'}));
}

TEST(ArchiveBytes, PrimitivesAreLittleEndianAndPacked)
{
    COwnerArchive ar(ARCHIVE_STORING);
    ar << static_cast<unsigned short>(0x0102) << 0x03040506 << static_cast<long>(-2) << 1.5f << 1.0 << true
       << static_cast<unsigned char>(0xAB) << 'z';
    EXPECT_EQ(Written(ar), (Bytes{0x02, 0x01,                                      // unsigned short
                                  0x06, 0x05, 0x04, 0x03,                          // int
                                  0xFE, 0xFF, 0xFF, 0xFF,                          // long: 4 bytes
                                  0x00, 0x00, 0xC0, 0x3F,                          // float 1.5
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // double 1.0
                                  0x01, 0xAB, 'z'}));
}

TEST(ArchiveBytes, PrimitivesRoundTrip)
{
    COwnerArchive ar(ARCHIVE_STORING);
    ar << static_cast<unsigned short>(7) << -123456 << 0xFEDCBA98u << static_cast<long>(-70000) << -2.25f
       << 3.141592653589793 << CString("通道") << false << static_cast<char>(-3);
    // Reading switches the archive to loading; the first word (7) is no marker.
    unsigned short us = 0;
    int i = 0;
    unsigned int u = 0;
    long l = 0;
    float f = 0;
    double d = 0;
    CString s;
    bool b = true;
    char c = 0;
    ar >> us >> i >> u >> l >> f >> d >> s >> b >> c;
    EXPECT_FALSE(ar.IsStoring());
    EXPECT_EQ(us, 7);
    EXPECT_EQ(i, -123456);
    EXPECT_EQ(u, 0xFEDCBA98u);
    EXPECT_EQ(l, -70000);
    EXPECT_EQ(f, -2.25f);
    EXPECT_EQ(d, 3.141592653589793);
    EXPECT_EQ(s, "通道");
    EXPECT_FALSE(b);
    EXPECT_EQ(static_cast<signed char>(c), -3);  // plain char is unsigned on ARM
    EXPECT_TRUE(ar.IsBufferEnd());
}

TEST(ArchiveBytes, BoolIsTrueOnlyForByteOne)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {0x01, 0x02, 0x00, 0xFF});
    bool v[4] = {false, true, true, true};
    ar >> v[0] >> v[1] >> v[2] >> v[3];
    EXPECT_TRUE(v[0]);
    EXPECT_FALSE(v[1]);
    EXPECT_FALSE(v[2]);
    EXPECT_FALSE(v[3]);
}

TEST(ArchiveMarker, ObjectIntoFreshArchiveGetsMarkerPrimitiveDoesNot)
{
    IntObject o;
    o.value = 7;
    COwnerArchive ar(ARCHIVE_STORING);
    ar << o;
    EXPECT_EQ(Written(ar), (Bytes{0x20, 0x4E, 0x07, 0, 0, 0}));

    COwnerArchive plain(ARCHIVE_STORING);
    plain << 7;
    EXPECT_EQ(Written(plain), (Bytes{0x07, 0, 0, 0}));

    // Behind existing data an object adds no marker.
    plain << o;
    EXPECT_EQ(Written(plain), (Bytes{0x07, 0, 0, 0, 0x07, 0, 0, 0}));
}

TEST(ArchiveMarker, WritingIntoLoadingArchiveCutsAtCursorAndRestarts)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadBlob(ar, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(ar.SvrGetBufferSize(), 0);  // 0x0201 is no marker
    unsigned char six[6];
    ASSERT_EQ(ar.SvrRead(six, 6), 1);

    ar << 0x11223344;
    EXPECT_TRUE(ar.IsStoring());
    EXPECT_EQ(ar.SvrGetRealBufferSize(), 6);
    EXPECT_EQ(Written(ar), (Bytes{0x20, 0x4E, 0x44, 0x33, 0x22, 0x11}));
}

TEST(ArchiveMarker, SwitchToSameModeActsOnlyAtCursorZero)
{
    COwnerArchive ar(ARCHIVE_STORING);
    ar.SvrChangeMode(ARCHIVE_STORING);
    EXPECT_EQ(Written(ar), (Bytes{0x20, 0x4E}));
    ar.SvrChangeMode(ARCHIVE_STORING);  // cursor 2: nothing happens
    EXPECT_EQ(ar.SvrGetBufferSize(), 2);

    // Loading at cursor 0 reads the marker again and steps over it.
    ar.SvrChangeMode(ARCHIVE_LOADING);
    EXPECT_EQ(ar.SvrGetBufferSize(), 2);
    ar.SvrSeekToBegin();
    ar.SvrChangeMode(ARCHIVE_LOADING);
    EXPECT_EQ(ar.SvrGetBufferSize(), 2);
}

TEST(ArchiveMarker, VersionDecidesWhereDataStart)
{
    COwnerArchive old(ARCHIVE_STORING);
    LoadBlob(old, {0x1F, 0x4E, 0x05, 0x00, 0x00, 0x00});  // 19999: data from offset 0
    EXPECT_EQ(old.GetNowVersion(), 19999);
    EXPECT_EQ(old.SvrGetBufferSize(), 0);

    COwnerArchive marked(ARCHIVE_STORING);
    LoadBlob(marked, {0x20, 0x4E, 0x05, 0x00, 0x00, 0x00});  // 20000: data from offset 2
    EXPECT_EQ(marked.GetNowVersion(), 20000);
    int v = 0;
    marked >> v;
    EXPECT_EQ(v, 5);

    COwnerArchive newer(ARCHIVE_STORING);
    LoadBlob(newer, {0x21, 0x4E});
    EXPECT_EQ(newer.GetNowVersion(), 20001);
}

TEST(ArchiveMarker, GetNowVersionLeavesCursorAndSwitchesToLoading)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadBlob(ar, {0x20, 0x4E, 1, 0, 0, 0, 2, 0, 0, 0});
    int v = 0;
    ar >> v;
    EXPECT_EQ(ar.SvrGetBufferSize(), 6);
    EXPECT_EQ(ar.GetNowVersion(), 20000);
    EXPECT_EQ(ar.SvrGetBufferSize(), 6);

    // A storing archive is switched first: the buffer is cut at the cursor.
    COwnerArchive st(ARCHIVE_STORING);
    st << static_cast<unsigned short>(300) << 9;
    EXPECT_EQ(st.GetNowVersion(), 300);
    EXPECT_FALSE(st.IsStoring());
    EXPECT_EQ(st.SvrGetRealBufferSize(), 6);
    EXPECT_EQ(st.SvrGetBufferSize(), 0);
}

TEST(ArchiveMarker, EmptyBufferHasVersionZeroAndIsAtEnd)
{
    COwnerArchive loading(ARCHIVE_LOADING);
    EXPECT_TRUE(loading.IsBufferEnd());
    EXPECT_EQ(loading.GetNowVersion(), 0);
    EXPECT_TRUE(loading.IsBufferEnd());

    COwnerArchive storing(ARCHIVE_STORING);
    EXPECT_EQ(storing.GetNowVersion(), 0);
    EXPECT_TRUE(storing.IsBufferEnd());

    COwnerArchive one(ARCHIVE_STORING);
    one << static_cast<unsigned char>(0x20);
    EXPECT_EQ(one.GetNowVersion(), 0);  // a single byte holds no version
}

TEST(ArchiveGrowth, ReserveStepIs16534)
{
    COwnerArchive ar(ARCHIVE_STORING);
    const unsigned char ten[10] = {};
    ASSERT_EQ(ar.SvrWrite(ten, 10), 1);
    EXPECT_EQ(ar.SvrGetBufferSize(), 10);
    EXPECT_EQ(ar.SvrGetRealBufferSize(), 16534);
    EXPECT_FALSE(ar.IsBufferEnd());

    std::vector<unsigned char> fill(16524, 0x5A);
    ASSERT_EQ(ar.SvrWrite(fill.data(), static_cast<int>(fill.size())), 1);
    EXPECT_EQ(ar.SvrGetRealBufferSize(), 16534);
    ASSERT_EQ(ar.SvrWrite(ten, 1), 1);
    EXPECT_EQ(ar.SvrGetRealBufferSize(), 2 * 16534);

    // A large write grows to exactly what it needs.
    COwnerArchive big(ARCHIVE_STORING);
    std::vector<unsigned char> blob(40000, 1);
    ASSERT_EQ(big.SvrWrite(blob.data(), static_cast<int>(blob.size())), 1);
    EXPECT_EQ(big.SvrGetRealBufferSize(), 40000);
    EXPECT_TRUE(big.IsBufferEnd());
}

TEST(ArchiveGrowth, ReserveBehindInitBlobReadsAsZeros)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadBlob(ar, {0x20, 0x4E, 0x09, 0, 0, 0});
    EXPECT_EQ(ar.SvrGetRealBufferSize(), 16534);
    int a = -1, b = -1;
    ar >> a >> b;
    EXPECT_EQ(a, 9);
    EXPECT_EQ(b, 0);
}

TEST(ArchiveRaw, ReadPastEndIsRefusedAndLeavesEverything)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {1, 0, 0, 0, 0xAA});
    int v = 0;
    ar >> v;
    ASSERT_EQ(v, 1);
    int keep = 77;
    ar >> keep;  // only one byte left
    EXPECT_EQ(keep, 77);
    EXPECT_EQ(ar.SvrGetBufferSize(), 4);
    unsigned char dest[2] = {0x11, 0x22};
    EXPECT_EQ(ar.SvrRead(dest, 2), 0);
    EXPECT_EQ(dest[0], 0x11);
    EXPECT_EQ(ar.SvrRead(dest, 1), 1);
    EXPECT_EQ(dest[0], 0xAA);
    EXPECT_TRUE(ar.IsBufferEnd());
}

TEST(ArchiveRaw, NegativeCountsAreRefusedWithoutSideEffects)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadBlob(ar, {1, 2, 3, 4, 5, 6, 7, 8});
    unsigned char dest[4] = {};
    ASSERT_EQ(ar.SvrRead(dest, 4), 1);
    const int real = ar.SvrGetRealBufferSize();

    EXPECT_EQ(ar.SvrWrite(dest, -1), 0);
    EXPECT_EQ(ar.Write(dest, -100), 0);
    EXPECT_FALSE(ar.IsStoring());  // no switch, no cut
    EXPECT_EQ(ar.SvrGetBufferSize(), 4);
    EXPECT_EQ(ar.SvrGetRealBufferSize(), real);

    COwnerArchive st(ARCHIVE_STORING);
    st << 5;
    EXPECT_EQ(st.SvrRead(dest, -1), 0);
    EXPECT_EQ(st.Read(dest, -8), 0);
    EXPECT_TRUE(st.IsStoring());
    EXPECT_EQ(st.SvrGetBufferSize(), 4);
    EXPECT_FALSE(st.mfCheckBuffer(-1));
}

TEST(ArchiveRaw, ByteArrayTransfersKeepTheMode)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {1, 2, 3, 4});
    CByteArray two;
    two.SetSize(2);
    two[0] = 0xAA;
    two[1] = 0xBB;
    // Loading mode: bounded by the buffer, written in place, still loading.
    EXPECT_EQ(ar.SvrWrite(two), 1);
    EXPECT_FALSE(ar.IsStoring());
    EXPECT_EQ(ar.SvrGetBufferSize(), 2);
    CByteArray three;
    three.SetSize(3);
    EXPECT_EQ(ar.SvrRead(three), 0);
    EXPECT_EQ(ar.SvrRead(two), 1);
    EXPECT_EQ(two[0], 3);
    EXPECT_EQ(two[1], 4);
    EXPECT_EQ(Written(ar), (Bytes{0xAA, 0xBB, 3, 4}));
    EXPECT_EQ(ar.SvrWrite(two), 0);

    // Storing mode: a read grows the buffer instead of switching.
    COwnerArchive st(ARCHIVE_STORING);
    st << static_cast<unsigned char>(9);
    EXPECT_EQ(st.SvrRead(three), 1);
    EXPECT_TRUE(st.IsStoring());
    EXPECT_EQ(st.SvrGetBufferSize(), 4);
}

TEST(ArchiveHostile, OversizedStringLengthGivesEmptyString)
{
    const uint32_t lengths[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 4};
    for (uint32_t len : lengths) {
        SCOPED_TRACE(len);
        COwnerArchive ar(ARCHIVE_STORING);
        LoadExact(ar, {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len >> 16),
                       static_cast<uint8_t>(len >> 24), 'x', 'y', 'z'});
        CString s("previous");
        ar >> s;
        EXPECT_TRUE(s.IsEmpty());
        EXPECT_EQ(ar.SvrGetBufferSize(), 4);  // behind the length word
        unsigned char c = 0;
        ar >> c;  // reading goes on from there
        EXPECT_EQ(c, 'x');
    }
}

TEST(ArchiveHostile, StringLengthExactlyRemainingIsRead)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {3, 0, 0, 0, 'x', 'y', 'z'});
    CString s;
    ar >> s;
    EXPECT_EQ(s, "xyz");
    EXPECT_TRUE(ar.IsBufferEnd());
}

TEST(ArchiveHostile, StringStopsAtEmbeddedNulButConsumesItsLength)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {3, 0, 0, 0, 'a', 0, 'b', 'Q'});
    CString s;
    unsigned char next = 0;
    ar >> s >> next;
    EXPECT_EQ(s, "a");
    EXPECT_EQ(next, 'Q');
}

TEST(ArchiveHostile, TruncatedLengthWordLeavesString)
{
    COwnerArchive ar(ARCHIVE_STORING);
    LoadExact(ar, {3, 0});
    CString s("keep");
    ar >> s;
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(ar.SvrGetBufferSize(), 0);
}
