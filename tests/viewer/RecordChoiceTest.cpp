// What the Record dialog's choice gives the recording library, and what the status window says.
#include "record/RecordChoice.h"

#include <gtest/gtest.h>

using namespace ocu;

TEST(RecordChoice, OptionsFilesAndDefaultName) {
    RecordChoice choice;
    choice.folder = "/videos";
    choice.stem = "take";
    choice.format = 3; // H.264 in Matroska
    choice.limit = RecordLimit::Seconds;
    choice.seconds = 90;
    choice.memoryMiB = 64;
    const ocurecord::Options options = RecordOptionsFor(choice, 1280, 1024, 2);
    EXPECT_EQ(options.target.format, ocurecord::Format::H264);
    EXPECT_EQ(options.target.container, ocurecord::Container::Matroska);
    EXPECT_EQ(options.limit.seconds, 90);
    EXPECT_EQ(options.limit.frames, 0u);
    EXPECT_EQ(options.memoryCap, size_t{64} << 20);
    EXPECT_FALSE(options.developRaw); // the viewer hands over what it shows
    EXPECT_EQ(options.bayerLayout, 2);
    EXPECT_EQ(RecordFilesText(choice), "take.mkv and take.csv");
    choice.format = 0;
    EXPECT_EQ(RecordFilesText(choice), "take_000000.raw, take_000001.raw, ... and take.csv");
    // An index out of the list is the default, raw frames.
    choice.format = 17;
    EXPECT_EQ(RecordOptionsFor(choice, 8, 8, 1).target.format, ocurecord::Format::Raw);

    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 3;
    EXPECT_EQ(DefaultRecordStem(local), "recording-20261207-090503");
}

TEST(RecordChoice, StatusLines) {
    struct Case {
        ocurecord::State state;
        std::string message;
        double seconds;
        const char* time;
        const char* rate;
        const char* stateText;
    };
    const Case cases[] = {
        {ocurecord::State::Recording, "", 0, "0:00:00", "-", "Recording"},
        {ocurecord::State::Finishing, "", 3725.5, "1:02:05", "0.1 frames/s, 1.1 KiB/s",
         "Finishing: writing the frames waiting"},
        {ocurecord::State::Finished, "", 10, "0:00:10", "40.0 frames/s, 400.0 KiB/s", "Finished"},
        {ocurecord::State::Finished, "The disk is full.", 10, "0:00:10", "40.0 frames/s, 400.0 KiB/s",
         "The disk is full."},
    };
    for (const Case& c : cases) {
        ocurecord::Progress p;
        p.state = c.state;
        p.message = c.message;
        p.seconds = c.seconds;
        p.written = 400;
        p.bytes = 4096000;
        p.dropped = 2;
        p.note = "Frames of 640 x 480 are not recorded: the video is 1280 x 1024.";
        p.waiting = 3;
        p.slotCount = 409;
        p.freeBytes = int64_t{3} << 30;
        const RecordStatusText text = DescribeProgress(p, size_t{512} << 20);
        SCOPED_TRACE(c.stateText);
        EXPECT_EQ(text.time, c.time);
        EXPECT_EQ(text.rate, c.rate);
        EXPECT_EQ(text.state, c.stateText);
        EXPECT_EQ(text.written, "400");
        EXPECT_EQ(text.dropped, "2: Frames of 640 x 480 are not recorded: the video is 1280 x 1024.");
        EXPECT_EQ(text.space, "3.0 GiB");
        EXPECT_EQ(text.waiting, "3 of 409 frames (512.0 MiB)");
    }
}
