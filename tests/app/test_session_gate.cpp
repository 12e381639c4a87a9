#include "app/SessionGate.h"

#include <gtest/gtest.h>

using namespace tarnwick;

// Each session's answers to the commands, in ShellCommand order (capture, text,
// scrolling, record, open image, open file, edit shot, export, reopen, add layer):
// r runs, b beeps, f brings the session forward, e brings the editor forward, - nothing.
TEST(SessionGate, WhatEachSessionAnswersToEachCommand)
{
    const std::pair<ShellSession, const char*> rows[] = {
        {ShellSession::none, "rrrrrrrrr-"},          {ShellSession::picker, "bbbb----r-"},
        {ShellSession::textReading, "bbbb----r-"},   {ShellSession::editor, "ebeb-e--er"},
        {ShellSession::editorCapture, "-beb-e--e-"}, {ShellSession::scrolling, "fffffff-f-"},
        {ShellSession::recording, "fffffffrf-"},     {ShellSession::exporting, "bbbb----r-"},
    };
    for (const auto& [session, expected] : rows) {
        std::string answers;
        for (int c = 0; c <= static_cast<int>(ShellCommand::addLayer); ++c)
            answers += "rbfe-"[static_cast<int>(gate(session, static_cast<ShellCommand>(c)))];
        EXPECT_EQ(answers, expected) << static_cast<int>(session);
    }
}
