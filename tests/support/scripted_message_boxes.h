#pragma once

#include <deque>
#include <vector>

#include <QString>

#include "platform/message_box.h"

// Records every message the code under test shows and answers with the
// scripted results, in order (Ok, or the first button, when none is left).
// Installs itself for its lifetime.
class ScriptedMessageBoxes final : public platform::MessageBoxService {
public:
    struct Shown {
        QString text;
        platform::MessageIcon icon;
        platform::MessageButtons buttons;
    };

    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes() override;

    void Answer(platform::MessageResult result) { answers_.push_back(result); }
    const std::vector<Shown>& Messages() const { return shown_; }
    QStringList Texts() const;

    platform::MessageResult Show(QWidget* owner, const QString& text, platform::MessageIcon icon,
                                 platform::MessageButtons buttons) override;

private:
    std::deque<platform::MessageResult> answers_;
    std::vector<Shown> shown_;
};
