#include "scripted_message_boxes.h"

#include <QStringList>

ScriptedMessageBoxes::ScriptedMessageBoxes() { platform::SetMessageBoxService(this); }

ScriptedMessageBoxes::~ScriptedMessageBoxes() { platform::SetMessageBoxService(nullptr); }

QStringList ScriptedMessageBoxes::Texts() const {
    QStringList texts;
    for (const auto& shown : shown_) texts << shown.text;
    return texts;
}

platform::MessageResult ScriptedMessageBoxes::Show(QWidget*, const QString& text,
                                                   platform::MessageIcon icon,
                                                   platform::MessageButtons buttons) {
    shown_.push_back(Shown{text, icon, buttons});
    if (!answers_.empty()) {
        const auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    switch (buttons) {
    case platform::MessageButtons::YesNo:
    case platform::MessageButtons::YesNoCancel: return platform::MessageResult::Yes;
    default: return platform::MessageResult::Ok;
    }
}
