#include "ActionMessageBox.h"

#include "LanguageSrc.h"
#include "N12_MessageBox.h"

void ShowActionMessage(const ActionMessage& message, QWidget* parent) {
    const QString text = GetText(message.key);
    switch (message.kind) {
    case BoxKind::Information:
        N12_MessageBox::information(text, parent);
        break;
    case BoxKind::Warning:
        N12_MessageBox::warning(text, parent);
        break;
    case BoxKind::Error:
        N12_MessageBox::error(text, parent);
        break;
    case BoxKind::None:
        break;
    }
}
