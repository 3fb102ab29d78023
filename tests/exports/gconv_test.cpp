// The text encodings the driver converts with iconv must be available where
// the tests run: under qemu the ARM C library finds its gconv modules only
// through GCONV_PATH (see cmake/arm-common.cmake).
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

// Converts with the given target and source names; fails the test when the
// conversion cannot be opened.
std::string Convert(const char* to, const char* from, const std::string& text)
{
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1))
        << "iconv_open(\"" << to << "\", \"" << from << "\") failed: gconv modules missing?";
    if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
    std::string in = text;
    std::string out(text.size() * 4 + 8, '\0');
    char* inPtr = &in[0];
    size_t inLeft = in.size();
    char* outPtr = &out[0];
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(r, static_cast<size_t>(-1));
    out.resize(out.size() - outLeft);
    return out;
}

const std::string ZHONGWEN_UTF8 =
    "\xE4\xB8\xAD\xE6\x96\x87"
    "A";  // two CJK characters and "A"
const std::string ZHONGWEN_GB18030 =
    "\xD6\xD0\xCE\xC4"
    "A";
const std::string ZHONGWEN_UTF16LE("\x2D\x4E\x87\x65\x41\x00", 6);

TEST(Gconv, Utf8ToGb18030AndBack)
{
    EXPECT_EQ(Convert("GB18030//IGNORE", "UTF-8", ZHONGWEN_UTF8), ZHONGWEN_GB18030);
    EXPECT_EQ(Convert("UTF-8//IGNORE", "GB18030", ZHONGWEN_GB18030), ZHONGWEN_UTF8);
}

TEST(Gconv, Utf8ToUtf16LeAndBack)
{
    EXPECT_EQ(Convert("UTF-16LE//IGNORE", "UTF-8", ZHONGWEN_UTF8), ZHONGWEN_UTF16LE);
    EXPECT_EQ(Convert("UTF-8//IGNORE", "UTF-16LE", ZHONGWEN_UTF16LE), ZHONGWEN_UTF8);
}

}  // namespace
