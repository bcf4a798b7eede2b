// The decoder library's stream scanning on hand-made byte streams.
#include <gtest/gtest.h>
#include "mp3_frames.h"
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A frame: header bytes b1..b3 after the sync byte, filled to its length.
void AddFrame(Bytes &out, uint8_t b1, uint8_t b2, uint8_t b3) {
    FrameHeader h;
    const uint8_t header[4] = {0xFF, b1, b2, b3};
    ASSERT_TRUE(ParseFrameHeader(header, 4, &h));
    const size_t at = out.size();
    out.resize(at + size_t(h.length), 0x55);
    memcpy(&out[at], header, 4);
}

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes.
void AddCbr(Bytes &out, int n) {
    for (int i = 0; i < n; ++i) AddFrame(out, 0xFB, 0x90, 0x00);
}

TEST(Mp3Frames, HeadersOfEveryVersionAndTheRefusedOnes) {
    struct Case { uint8_t b1, b2, b3; int version, rate, channels, length, samples; };
    const Case good[] = {
        {0xFB, 0x90, 0x00, 1, 44100, 2, 417, 1152},   // 128 kbit/s
        {0xFB, 0x92, 0x00, 1, 44100, 2, 418, 1152},   // padded
        {0xFB, 0x94, 0xC0, 1, 48000, 1, 384, 1152},   // mono
        {0xF3, 0x80, 0xC0, 2, 22050, 1, 208, 576},    // MPEG-2, 64 kbit/s
        {0xE3, 0x80, 0x00, 25, 11025, 2, 417, 576},   // MPEG-2.5
    };
    for (const Case &c : good) {
        const uint8_t p[4] = {0xFF, c.b1, c.b2, c.b3};
        FrameHeader h;
        ASSERT_TRUE(ParseFrameHeader(p, 4, &h)) << int(c.b1) << " " << int(c.b2);
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(h.sampleRate, c.rate);
        EXPECT_EQ(h.channels, c.channels);
        EXPECT_EQ(h.length, c.length);
        EXPECT_EQ(h.samplesPerFrame, c.samples);
    }
    const uint8_t bad[][4] = {
        {0xFF, 0xFB, 0xF0, 0x00},  // bitrate index 15
        {0xFF, 0xFB, 0x00, 0x00},  // free format
        {0xFF, 0xFB, 0x9C, 0x00},  // sample rate index 3
        {0xFF, 0xFD, 0x90, 0x00},  // Layer II
        {0xFF, 0xEB, 0x90, 0x00},  // reserved version
        {0xFE, 0xFB, 0x90, 0x00},  // no sync
    };
    for (const auto &p : bad) {
        FrameHeader h;
        EXPECT_FALSE(ParseFrameHeader(p, 4, &h)) << int(p[1]) << " " << int(p[2]);
    }
    FrameHeader h;
    const uint8_t valid[4] = {0xFF, 0xFB, 0x90, 0x00};
    EXPECT_FALSE(ParseFrameHeader(valid, 3, &h));  // too short to hold a header
}

TEST(Mp3Frames, TagsAreSkippedAndFalseSyncsPassedOver) {
    Bytes file;
    // ID3v2 of 300 bytes (syncsafe size) in front.
    const uint8_t id3[10] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x02, 0x22};
    file.insert(file.end(), id3, id3 + 10);
    file.resize(10 + 290, 0);
    // Garbage holding a header that the next bytes do not confirm.
    const uint8_t falseSync[] = {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3};
    file.insert(file.end(), falseSync, falseSync + sizeof falseSync);
    const size_t first = file.size();
    AddCbr(file, 10);
    // ID3v1 at the end.
    Bytes tag(128, 0);
    memcpy(tag.data(), "TAG", 3);
    file.insert(file.end(), tag.begin(), tag.end());

    StreamInfo info;
    ASSERT_EQ(ScanStream(file.data(), file.size(), &info), 0);
    EXPECT_EQ(info.firstFrame, first);
    EXPECT_EQ(info.dataEnd, file.size() - 128);
    EXPECT_EQ(info.frames, 10u);
    EXPECT_FALSE(info.vbrHeader);
    EXPECT_EQ(FrameOffset(file.data(), info, 3), first + 3 * 417);
    EXPECT_EQ(FrameOffset(file.data(), info, 99), info.dataEnd);
}

// Free format (bit-rate index 0): the length is where the next header starts.
TEST(Mp3Frames, FreeFormatFramesAreMeasuredByTheirNeighbours) {
    Bytes file(50, 0);
    const size_t first = file.size();
    for (int i = 0; i < 6; ++i) {  // 1200 bytes a frame (+1 when padded): 367.5 kbit/s at 44.1 kHz
        const uint8_t padding = i == 2 ? 0x02 : 0x00;
        const size_t at = file.size();
        file.resize(at + 1200 + (padding ? 1 : 0), 0x55);
        const uint8_t header[4] = {0xFF, 0xFB, uint8_t(0x00 | padding), 0x40};
        memcpy(&file[at], header, 4);
        if (i == 0) file[at + 600] = 0xFF, file[at + 601] = 0xFB, file[at + 602] = 0x00, file[at + 603] = 0x40;  // a false sync
    }
    StreamInfo info;
    ASSERT_EQ(ScanStream(file.data(), file.size(), &info), 0);
    EXPECT_EQ(info.firstFrame, first);
    EXPECT_EQ(info.freeLength, 1200);
    EXPECT_EQ(info.frames, 6u);
    EXPECT_EQ(info.header.bitrate, 367500);
    EXPECT_EQ(FrameOffset(file.data(), info, 3), first + 3 * 1200 + 1);
    file.resize(first + 500);  // a lone free-format frame has no length: not a stream
    EXPECT_NE(ScanStream(file.data(), file.size(), &info), 0);
}

TEST(Mp3Frames, XingAndVbriHeadersGiveTheTotals) {
    Bytes xing;
    AddCbr(xing, 1);
    memcpy(&xing[4 + 32], "Xing\0\0\0\x03\0\0\0\x14", 12);  // frames flag, 20 frames
    AddCbr(xing, 5);
    StreamInfo info;
    ASSERT_EQ(ScanStream(xing.data(), xing.size(), &info), 0);
    EXPECT_TRUE(info.vbrHeader);
    EXPECT_EQ(info.frames, 20u);  // 20 frames of 32 kbit/s would fit in 5 of 128
    EXPECT_EQ(info.firstFrame, 417u);  // the header frame holds no audio
    // A count that cannot fit in the bytes that follow is not believed.
    memcpy(&xing[4 + 32 + 8], "\0\0\x30\x39", 4);  // 12345 frames
    ASSERT_EQ(ScanStream(xing.data(), xing.size(), &info), 0);
    EXPECT_FALSE(info.vbrHeader);
    EXPECT_EQ(info.frames, 5u);
    EXPECT_EQ(info.firstFrame, 417u);

    Bytes vbri;
    AddCbr(vbri, 1);
    memcpy(&vbri[36], "VBRI", 4);
    const uint8_t count[4] = {0, 0, 0x00, 0x06};  // 6 frames at offset 14
    memcpy(&vbri[36 + 14], count, 4);
    AddCbr(vbri, 2);
    ASSERT_EQ(ScanStream(vbri.data(), vbri.size(), &info), 0);
    EXPECT_EQ(info.frames, 6u);
    vbri[36 + 14 + 2] = 0x01;  // 262: more than two frames' bytes can hold
    ASSERT_EQ(ScanStream(vbri.data(), vbri.size(), &info), 0);
    EXPECT_EQ(info.frames, 2u);
}

TEST(Mp3Frames, BadFilesGiveTheirErrorsAndNeverReadPastTheEnd) {
    StreamInfo info;
    const uint8_t none[1] = {0};
    EXPECT_EQ(ScanStream(none, 0, &info), 3);  // empty

    Bytes garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7 + 3);
    EXPECT_EQ(ScanStream(garbage.data(), garbage.size(), &info), 22);  // not an MP3 at all

    // An ID3v2 tag claiming more bytes than the file has.
    Bytes lying = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    AddCbr(lying, 3);
    EXPECT_EQ(ScanStream(lying.data(), lying.size(), &info), 10);

    // Cut inside the second frame: the first still counts, the stub does not.
    Bytes cut;
    AddCbr(cut, 2);
    cut.resize(417 + 100);
    std::vector<uint8_t> exact(cut.begin(), cut.end());  // no slack after the data
    ASSERT_EQ(ScanStream(exact.data(), exact.size(), &info), 0);
    EXPECT_EQ(info.frames, 1u);

    // A sample-rate change mid-stream ends the stream at the change.
    Bytes change;
    AddCbr(change, 4);
    for (int i = 0; i < 4; ++i) AddFrame(change, 0xFB, 0x94, 0x00);  // 48 kHz
    ASSERT_EQ(ScanStream(change.data(), change.size(), &info), 0);
    EXPECT_EQ(info.frames, 4u);
    EXPECT_EQ(info.header.sampleRate, 44100);
}

}  // namespace
