#include <gtest/gtest.h>

#include <cstring>

#include "host/host.h"

TEST(CString, EmptySharesNilMarker)
{
    CString a, b("");
    EXPECT_EQ(a.GetString(), _afxPchNil);
    EXPECT_EQ(static_cast<const char*>(b), _afxPchNil);
    b = "x";
    EXPECT_NE(b.GetString(), _afxPchNil);
    b.Empty();
    EXPECT_EQ(b.GetString(), _afxPchNil);
}

TEST(CString, SubstringsClampToTheText)
{
    CString s("ABCDEF");
    EXPECT_EQ(s.Left(2), "AB");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "ABCDEF");
    EXPECT_EQ(s.Mid(4), "EF");
    EXPECT_EQ(s.Mid(9), "");
    EXPECT_EQ(s.Mid(-3, 2), "AB");
    EXPECT_EQ(s.Mid(4, 9), "EF");
    EXPECT_EQ(s.Right(2), "EF");
    EXPECT_EQ(s.Right(20), "ABCDEF");
    EXPECT_EQ(s.Right(-1), "");
}

TEST(CString, FindReturnsMinusOneWhenAbsent)
{
    CString s("D100 = 5");
    EXPECT_EQ(s.Find('='), 5);
    EXPECT_EQ(s.Find("100"), 1);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.Find('D', 1), -1);
    EXPECT_EQ(s.Find('D', 100), -1);
    EXPECT_EQ(s.Find(""), 0);
}

TEST(CString, FormatHandlesShortAndLongOutput)
{
    CString s;
    s.Format("%.4x%.2X", 10, 255);
    EXPECT_EQ(s, "000aFF");
    s.Format("%s", std::string(300, 'a').c_str());
    EXPECT_EQ(s.GetLength(), 300);
    s.AppendFormat("%d", -5);
    EXPECT_EQ(s.Right(2), "-5");
}

TEST(CString, EditingOperations)
{
    CString s("  abc\t");
    s.TrimLeft();
    EXPECT_EQ(s, "abc\t");
    s.TrimRight();
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(s.Insert(1, "XY"), 5);
    EXPECT_EQ(s, "aXYbc");
    EXPECT_EQ(s.Delete(1, 2), 3);
    EXPECT_EQ(s.Delete(2, 100), 2);
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(s.Insert(99, 'z'), 3);
    EXPECT_EQ(s, "abz");
    CString u("d读写m");
    u.MakeUpper();
    EXPECT_EQ(u, "D读写M");
    EXPECT_EQ(CString("123abc").SpanIncluding("0123456789"), "123");
}

TEST(CString, BufferAccessUpToFirstNul)
{
    CString s;
    char* p = s.GetBuffer(8);
    std::strcpy(p, "hey");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    p = s.GetBufferSetLength(2);
    p[0] = 'o';
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, "oe");
}

TEST(CArray, GrowInsertRemove)
{
    CArray<int, int> a;
    a.SetSize(3);
    EXPECT_EQ(a[0] + a[1] + a[2], 0);
    a.SetAtGrow(5, 7);
    EXPECT_EQ(a.GetSize(), 6);
    EXPECT_EQ(a[5], 7);
    a.InsertAt(0, 9);
    EXPECT_EQ(a[0], 9);
    EXPECT_EQ(a[6], 7);
    a.RemoveAt(0);
    a.RemoveAt(4, 100);
    EXPECT_EQ(a.GetSize(), 4);
    a.RemoveAt(-1);
    a.RemoveAt(99);
    EXPECT_EQ(a.GetSize(), 4);
    CStringArray s;
    s.Add("x");
    s.SetAtGrow(2, "z");
    EXPECT_EQ(s[1], "");
    EXPECT_EQ(s[2], "z");
}
