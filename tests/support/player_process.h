// The real Tavolin.exe in a temporary folder, driven over DDE.
#pragma once
#include <gtest/gtest.h>
#include "test_support.h"
#include "dde_link.h"

class PlayerProcess : public ::testing::Test {
protected:
    // Errors only beep, so that no message box waits for a click.
    void StartPlayer(const std::string &as = "Tavolin.exe", bool showErrors = false) {
        exe = tt::Stage(dir, "Tavolin.exe", as);
        ini = exe.substr(0, exe.size() - 4) + ".ini";
        tt::WriteIni(ini, "Tavolin", "ShowError", showErrors ? "1" : "0");
        ASSERT_TRUE(tt::Start(player, exe, ""));
        service = as.substr(0, as.size() - 4);
    }
    DdeOutcome Exec(const std::string &command) { return link.Execute(service, "Command", command, 10000); }
    std::string Get(const std::string &item) {
        std::string reply;
        return link.Request(service, "Command", item, &reply, 10000) == DdeOutcome::Done ? reply : "<none>";
    }
    int Pos() { return atoi(Get("GetPos").c_str()); }
    int Mode() { return atoi(Get("GetMode").c_str()); }

    tt::TempDir dir;
    tt::Program player;
    DdeLink link;
    std::string exe, ini, service;
};
