#include "frame/IniFile.h"

#include "TestSupport.h"
#include "common/FileContent.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ocu;
using ocu::test::ReadText;
using ocu::test::TempDir;
using ocu::test::WriteText;

TEST(IniFile, ReadsKeysOfTheNamedSectionOnly) {
    const IniFile ini("TintUpper=1\n"
                      "[Other]\nTintUpper=2\n"
                      "[Video Parameter]\n; TintUpper=3\nTintUpper = 30 \n"
                      "[Video Parameter]\nTintUpper=4\n");
    EXPECT_EQ(ini.GetInt("Video Parameter", "TintUpper", 60), 30);
    EXPECT_EQ(ini.GetInt("Other", "TintUpper", 60), 2);
    EXPECT_EQ(ini.GetInt("Missing", "TintUpper", 60), 60);
    EXPECT_EQ(ini.GetInt("Video Parameter", "TintLower", 1000), 1000);
}

TEST(IniFile, NamesMatchWithoutRegardToCase) {
    IniFile ini("[video PARAMETER]\ntintupper=30\n");
    EXPECT_EQ(ini.GetInt("Video Parameter", "TintUpper", 60), 30);
    ini.SetString("VIDEO parameter", "TINTUPPER", "31");
    EXPECT_EQ(ini.Text(), "[video PARAMETER]\nTINTUPPER=31\n");
}

TEST(IniFile, IntegerValues) {
    const IniFile ini("[S]\nneg=-1717986918\nplus=+7\nblanks=  42  \ntrailing=12abc\nempty=\n"
                      "text=abc\nhuge=99999999999\nmin=-2147483648\nsign=-\n");
    EXPECT_EQ(ini.GetInt("S", "neg", 0), -1717986918);
    EXPECT_EQ(ini.GetInt("S", "plus", 0), 7);
    EXPECT_EQ(ini.GetInt("S", "blanks", 0), 42);
    EXPECT_EQ(ini.GetInt("S", "trailing", 0), 12);
    EXPECT_EQ(ini.GetInt("S", "min", 0), -2147483647 - 1);
    // Values without digits, or beyond 32 bits, read as the default.
    EXPECT_EQ(ini.GetInt("S", "empty", 5), 5);
    EXPECT_EQ(ini.GetInt("S", "text", 5), 5);
    EXPECT_EQ(ini.GetInt("S", "huge", 5), 5);
    EXPECT_EQ(ini.GetInt("S", "sign", 5), 5);
}

TEST(IniFile, WriteReplacesInPlaceAndKeepsEverythingElse) {
    IniFile ini("; written by hand\n"
                "[Video Parameter]\n"
                "Resolution=2\n"
                "Custom=keep me\n"
                "SnapMode=1\n"
                "\n"
                "; about the other section\n"
                "[Other]\n"
                "Resolution=9\n");
    ini.SetString("Video Parameter", "Resolution", "0");
    ini.SetString("Video Parameter", "SnapSpeed", "1");
    ini.SetString("Other", "New", "x");
    ini.SetString("Third", "Key", "y");
    EXPECT_EQ(ini.Text(), "; written by hand\n"
                          "[Video Parameter]\n"
                          "Resolution=0\n"
                          "Custom=keep me\n"
                          "SnapMode=1\n"
                          "SnapSpeed=1\n"
                          "\n"
                          "; about the other section\n"
                          "[Other]\n"
                          "Resolution=9\n"
                          "New=x\n"
                          "\n"
                          "[Third]\n"
                          "Key=y\n");
}

TEST(IniFile, WriteIntoAnEmptySectionAndAnEmptyFile) {
    IniFile ini("[Video Parameter]\n[Other]\n");
    ini.SetString("Video Parameter", "A", "1");
    EXPECT_EQ(ini.Text(), "[Video Parameter]\nA=1\n[Other]\n");

    IniFile empty;
    empty.SetString("Video Parameter", "A", "1");
    empty.SetString("Video Parameter", "B", "2");
    EXPECT_EQ(empty.Text(), "[Video Parameter]\nA=1\nB=2\n");
}

TEST(IniFile, KeepsLineEndingsAndByteOrderMark) {
    IniFile ini("\xEF\xBB\xBF[Video Parameter]\r\nA=1\r\n");
    EXPECT_EQ(ini.GetInt("Video Parameter", "A", 0), 1);
    ini.SetString("Video Parameter", "B", "2");
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[Video Parameter]\r\nA=1\r\nB=2\r\n");
}

TEST(IniFile, WhatIsWrittenReadsBackAsTheSameText) {
    // Stray carriage returns at the ends of lines, with and without a last line feed.
    for (const char* text : {"\r\r", "[Video Parameter]\r\r\nA=1\r\n", "A=1\r\r\r", "[S]\nA=1\r\r\nB=2\n"}) {
        IniFile ini(text);
        ini.SetString("Video Parameter", "B", "3");
        EXPECT_EQ(IniFile(ini.Text()).Text(), ini.Text()) << text;
        EXPECT_EQ(IniFile(ini.Text()).GetInt("Video Parameter", "B", 0), 3);
    }
}

TEST(IniFile, MissingFileReadsAsEmptyAndWriteCreatesItWithItsFolder) {
    TempDir dir;
    const std::string path = dir.File("sub/folder/OcuViewer.ini");
    const auto ini = IniFile::Load(path);
    ASSERT_TRUE(ini.has_value());
    EXPECT_EQ(ini->Text(), "");
    EXPECT_EQ(GetPrivateProfileInt("Video Parameter", "TintUpper", 60, path), 60);

    EXPECT_TRUE(WritePrivateProfileString("Video Parameter", "TintUpper", "30", path));
    EXPECT_EQ(ReadText(path), "[Video Parameter]\nTintUpper=30\n");
    EXPECT_EQ(GetPrivateProfileInt("Video Parameter", "TintUpper", 60, path), 30);
}

TEST(IniFile, AFileThatCannotBeReadIsNeverReplaced) {
    TempDir dir;
    const std::string path = dir.File("OcuViewer.ini");
    std::filesystem::create_directory(path); // exists, yet reads fail
    EXPECT_FALSE(IniFile::Load(path).has_value());
    EXPECT_EQ(GetPrivateProfileInt("Video Parameter", "TintUpper", 60, path), 60);
    EXPECT_FALSE(WritePrivateProfileString("Video Parameter", "TintUpper", "30", path));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(IniFile, APipeOrADeviceIsNeitherReadNorReplaced) {
    TempDir dir;
    const std::string pipe = dir.File("OcuViewer.ini");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Reading it would wait for a writer that never comes.
    EXPECT_FALSE(IniFile::Load(pipe).has_value());
    EXPECT_FALSE(WritePrivateProfileString("Video Parameter", "TintUpper", "30", pipe));
    struct stat st {};
    ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A link to an endless device: reading it would never end.
    const std::string device = dir.File("endless.ini");
    std::filesystem::create_symlink("/dev/zero", device);
    EXPECT_FALSE(IniFile::Load(device).has_value());
    EXPECT_EQ(GetPrivateProfileInt("Video Parameter", "TintUpper", 60, device), 60);
}

TEST(FileContent, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("OcuViewer.ini");
    WriteText(path, "old content that is longer than the new one\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    ASSERT_TRUE(ReplaceFileContent(path, "new\n"));
    EXPECT_EQ(ReadText(path), "new\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(FileContent, FollowsASymbolicLink) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("OcuViewer.ini");
    WriteText(target, "old\n");
    std::filesystem::create_symlink(target, link);

    ASSERT_TRUE(ReplaceFileContent(link, "new\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(target), "new\n");
}

TEST(FileContent, UnwritablePlaceOrReadOnlyFileFailsAndLeavesEverythingAsItWas) {
    TempDir dir;
    const std::string notAFolder = dir.File("file");
    WriteText(notAFolder, "x");
    EXPECT_FALSE(ReplaceFileContent(notAFolder + "/OcuViewer.ini", "new\n"));
    EXPECT_EQ(ReadText(notAFolder), "x");

    // Read-only in a writable folder: renaming over it would be allowed, but it is not replaced (also
    // not for root, whom the system would let write it).
    const std::string readOnly = dir.File("OcuViewer.ini");
    WriteText(readOnly, "old\n");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    struct stat before {};
    ASSERT_EQ(stat(readOnly.c_str(), &before), 0);
    EXPECT_FALSE(ReplaceFileContent(readOnly, "new\n"));
    struct stat after {};
    ASSERT_EQ(stat(readOnly.c_str(), &after), 0);
    EXPECT_EQ(ReadText(readOnly), "old\n");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}
