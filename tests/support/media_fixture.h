// A real main window in-process with two Wave files, for the media tests.
#pragma once
#include <gtest/gtest.h>
#include <functional>
#include "test_support.h"
#include "in_process.h"

class Media : public ::testing::Test {
protected:
    void SetUp() override {
        wave = dir.File("tone.wav");
        tt::WriteWave(wave, 3000);
        shortWave = dir.File("short.wav");
        tt::WriteWave(shortWave, 700);
    }
    HWND w() const { return pw.window(); }
    PlayerState *s() const { return pw.state(); }
    // Runs f while dismissing any message box; returns the first box's "caption|text".
    std::string Boxed(std::function<void()> f) {
        return tt::DismissingBoxes([](void *c) { (*static_cast<std::function<void()> *>(c))(); }, &f);
    }
    tt::TempDir dir;
    tt::PlayerWindow pw;
    std::string wave, shortWave;
};
