// The gray lookup table "YUVLut.dat": its content, the file, and where it lives.
#include "imaging/YuvLut.h"

#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ocu;
using namespace ocu::test;

namespace {

uint8_t Entry(const uint8_t* table, int r, int g, int b) {
    return table[(static_cast<size_t>(r) << 16) | (static_cast<size_t>(g) << 8) | static_cast<size_t>(b)];
}

std::vector<uint8_t> BuiltTable() {
    std::vector<uint8_t> table(kYuvLutSize);
    FillYuvLut(table.data());
    return table;
}

} // namespace

TEST(YuvLut, EveryEntryIsTheRuleComputedPlainly) {
    const std::vector<uint8_t> table = BuiltTable();
    size_t wrong = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const double level = (r * 0.299 + g * 0.587) + b * 0.114;
                wrong += Entry(table.data(), r, g, b) != static_cast<int>(level);
            }
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(YuvLut, KnownLevels) {
    const std::vector<uint8_t> table = BuiltTable();
    EXPECT_EQ(Entry(table.data(), 0, 0, 0), 0);
    EXPECT_EQ(Entry(table.data(), 255, 255, 255), 255);
    EXPECT_EQ(Entry(table.data(), 255, 0, 0), 76);
    EXPECT_EQ(Entry(table.data(), 0, 255, 0), 149);
    EXPECT_EQ(Entry(table.data(), 0, 0, 255), 29);
    EXPECT_EQ(Entry(table.data(), 100, 150, 200), 140);
    // Neutral grays: exact for 191 levels, one lower for the other 65.
    int exact = 0;
    for (int v = 0; v < 256; ++v) {
        const int level = Entry(table.data(), v, v, v);
        EXPECT_TRUE(level == v || level == v - 1) << v;
        exact += level == v;
    }
    EXPECT_EQ(exact, 191);
    EXPECT_EQ(Entry(table.data(), 1, 1, 1), 0);
    EXPECT_EQ(Entry(table.data(), 2, 2, 2), 1);
    EXPECT_EQ(Entry(table.data(), 128, 128, 128), 127);
}

TEST(YuvLut, GrayConversionWithAndWithoutTheTableAgreeAndMayWorkInPlace) {
    const std::vector<uint8_t> table = BuiltTable();
    std::vector<uint8_t> bgr;
    for (int i = 0; i < 3000; ++i)
        bgr.push_back(static_cast<uint8_t>(i * 37 + i / 7));
    const size_t pixels = bgr.size() / 3;
    std::vector<uint8_t> looked(pixels);
    std::vector<uint8_t> computed(pixels);
    BgrToGray(looked.data(), bgr.data(), pixels, table.data());
    BgrToGray(computed.data(), bgr.data(), pixels, nullptr);
    EXPECT_EQ(looked, computed);
    for (size_t i = 0; i < pixels; ++i)
        ASSERT_EQ(looked[i], Entry(table.data(), bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i])) << i;

    std::vector<uint8_t> inPlace = bgr;
    BgrToGray(inPlace.data(), inPlace.data(), pixels, table.data());
    EXPECT_TRUE(std::equal(looked.begin(), looked.end(), inPlace.begin()));
}

TEST(YuvLutFile, AMissingFileIsBuiltAndMapped) {
    const TempDir dir;
    const std::string path = dir.File("sub/YUVLut.dat");
    UniqueFd file;
    const MappedView view = MapYuvLutFile(path, file);
    ASSERT_TRUE(view);
    EXPECT_TRUE(file);
    EXPECT_EQ(std::filesystem::file_size(path), kYuvLutSize);
    EXPECT_EQ(Entry(view.get(), 100, 150, 200), 140);
    EXPECT_EQ(Entry(view.get(), 255, 255, 255), 255);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "sub"), {}), 1);
}

TEST(YuvLutFile, AFileOfTheRightLengthIsUsedWhateverItHolds) {
    const TempDir dir;
    const std::string path = dir.File("YUVLut.dat");
    WriteText(path, std::string(kYuvLutSize, '\x33'));
    UniqueFd file;
    const MappedView view = MapYuvLutFile(path, file);
    ASSERT_TRUE(view);
    EXPECT_EQ(Entry(view.get(), 0, 0, 0), 0x33);
    EXPECT_EQ(Entry(view.get(), 255, 255, 255), 0x33);
    EXPECT_EQ(ReadText(path), std::string(kYuvLutSize, '\x33'));
}

TEST(YuvLutFile, AFileOfAnyOtherLengthIsRebuilt) {
    for (const size_t length : {size_t{0}, size_t{100}, kYuvLutSize + 1}) {
        const TempDir dir;
        const std::string path = dir.File("YUVLut.dat");
        WriteText(path, std::string(length, '\x33'));
        UniqueFd file;
        const MappedView view = MapYuvLutFile(path, file);
        ASSERT_TRUE(view) << length;
        EXPECT_EQ(std::filesystem::file_size(path), kYuvLutSize);
        EXPECT_EQ(Entry(view.get(), 255, 0, 0), 76) << length;
        EXPECT_EQ(Entry(view.get(), 255, 255, 255), 255) << length;
    }
}

TEST(YuvLutFile, NoPathOrAnUnwritablePlaceGivesNoTable) {
    UniqueFd file;
    EXPECT_FALSE(MapYuvLutFile("", file));
    const TempDir dir;
    WriteText(dir.File("plain"), "not a folder");
    EXPECT_FALSE(MapYuvLutFile(dir.File("plain/YUVLut.dat"), file));
    EXPECT_FALSE(file);
}

TEST(YuvLutPath, BesideTheExecutableUnlessThatFolderCannotTakeIt) {
    const TempDir exe;
    EXPECT_EQ(ChooseYuvLutPath(exe.Path().string(), "/cache/ocuviewer"), exe.File("YUVLut.dat"));
    EXPECT_EQ(ChooseYuvLutPath(exe.File("missing"), "/cache/ocuviewer"), "/cache/ocuviewer/YUVLut.dat");
    EXPECT_EQ(ChooseYuvLutPath("", "/cache/ocuviewer"), "/cache/ocuviewer/YUVLut.dat");
    EXPECT_EQ(ChooseYuvLutPath("", ""), "");
    // An installed program never writes into /usr, even when it runs as root and could.
    EXPECT_EQ(ChooseYuvLutPath("/usr/bin", "/cache/ocuviewer"), "/cache/ocuviewer/YUVLut.dat");
    EXPECT_EQ(ChooseYuvLutPath("/usr/local/bin", "/cache/ocuviewer"), "/cache/ocuviewer/YUVLut.dat");
}

TEST(YuvLutPath, TheCacheFolderFollowsXdgCacheHome) {
    const TempDir cache;
    const ScopedEnv xdg("XDG_CACHE_HOME", cache.Path().string());
    SetYuvLutFolderForTesting("/nonexistent/folder");
    EXPECT_EQ(YuvLutPath(), cache.File("ocuviewer/YUVLut.dat"));
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>("relative")}) {
        const ScopedEnv unsetOrRelative("XDG_CACHE_HOME", value);
        const ScopedEnv home("HOME", std::string("/home/someone"));
        EXPECT_EQ(YuvLutPath(), "/home/someone/.cache/ocuviewer/YUVLut.dat") << value.value_or("(unset)");
    }
    SetYuvLutFolderForTesting(cache.Path().string());
    EXPECT_EQ(YuvLutPath(), cache.File("YUVLut.dat"));
    SetYuvLutFolderForTesting("");
}
