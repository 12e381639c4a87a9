#include "app/SessionGate.h"

#include <gtest/gtest.h>

using namespace tarnwick;

// Each session's answers to the commands, in ShellCommand order (capture, text,
// scrolling, record, open image, open file, edit shot, export, reopen, add layer,
// show panel, finish editor): r runs, b beeps, f brings the session forward,
// e brings the editor forward, - nothing, d brings the open dialog forward.
TEST(SessionGate, WhatEachSessionAnswersToEachCommand)
{
    const std::pair<ShellSession, const char*> rows[] = {
        {ShellSession::none, "rrrrrrrrr-r-"},          {ShellSession::picker, "bbbb----r-r-"},
        {ShellSession::textReading, "bbbb----r-r-"},   {ShellSession::editor, "ebeb-e--errr"},
        {ShellSession::editorCapture, "-b-b-------b"}, {ShellSession::editorClosing, "ebeb-e--err-"},
        {ShellSession::scrolling, "fffffff-f-f-"},     {ShellSession::recording, "fffffffrf-r-"},
        {ShellSession::recorderCapture, "fffffffrf-f-"}, {ShellSession::exporting, "bbbb----r-r-"},
        {ShellSession::dialog, "ddddddddd-r-"},
    };
    for (const auto& [session, expected] : rows) {
        std::string answers;
        for (int c = 0; c <= static_cast<int>(ShellCommand::finishEditor); ++c)
            answers += "rbfe-d"[static_cast<int>(gate(session, static_cast<ShellCommand>(c)))];
        EXPECT_EQ(answers, expected) << static_cast<int>(session);
    }
}

