// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <vector>

#include "core/MessageBox.h"
#include "core/ProgramEnd.h"

namespace kelmora::testing {

// Answers message boxes from a script (Yes, then OK, ...) and records every message shown. With
// the script empty it answers Yes to questions and OK to everything else.
class ScriptedMessageBox : public MessageBoxSeam {
public:
    ScriptedMessageBox() : previous_(SetCurrentMessageBox(this)) {}
    ~ScriptedMessageBox() override { SetCurrentMessageBox(previous_); }

    void Answer(MsgAnswer answer) { answers_.push_back(answer); }

    MsgAnswer Show(const Message& message) override {
        shown.push_back(message);
        if (!answers_.empty()) {
            MsgAnswer answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return message.buttons == MsgButtons::kYesNo ? MsgAnswer::kYes : MsgAnswer::kOk;
    }

    std::vector<Message> shown;

private:
    std::deque<MsgAnswer> answers_;
    MessageBoxSeam* previous_;
};

// While alive, EndProgram throws ProgramEnded instead of ending the test process.
class CatchProgramEnd {
public:
    CatchProgramEnd() {
        SetProgramEndHook([](int status) { throw ProgramEnded{status}; });
    }
    ~CatchProgramEnd() { SetProgramEndHook(nullptr); }
    CatchProgramEnd(const CatchProgramEnd&) = delete;
    CatchProgramEnd& operator=(const CatchProgramEnd&) = delete;
};

}  // namespace kelmora::testing
