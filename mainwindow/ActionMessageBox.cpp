#include "ActionMessageBox.h"

#include "LanguageSrc.h"
#include "N12_MessageBox.h"

#include <QStringList>

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

bool ConfirmAddressWarnings(const QList<AddressWarning>& warnings, QWidget* parent) {
    QStringList paragraphs;
    for (const AddressWarning& warning : warnings) {
        const QString text = GetText(warning.key);
        paragraphs.append(warning.holder.isEmpty() ? text : text.arg(warning.holder));
    }
    paragraphs.append(GetText("IDCS_ADDRESS_SEND_ANYWAY"));
    const int answer = N12_MessageBox::ask(paragraphs.join(QStringLiteral("\n\n")),
                                           N12_MessageBox::Yes | N12_MessageBox::No,
                                           N12_MessageBox::Warning, parent);
    return answer == N12_MessageBox::Yes;
}
