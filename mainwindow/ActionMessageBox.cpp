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

QString AddressWarningText(const QList<AddressWarning>& warnings) {
    // A word joiner after each colon: the line breaker otherwise may break
    // a MAC after any of its colons.
    static const QString kUnbrokenColon = QStringLiteral(":") + QChar(0x2060);
    QStringList paragraphs;
    for (const AddressWarning& warning : warnings) {
        const QString text = GetText(warning.key);
        const QString holder = QString(warning.holder).replace(QLatin1Char(':'), kUnbrokenColon);
        paragraphs.append(holder.isEmpty() ? text : text.arg(holder));
    }
    paragraphs.append(GetText("IDCS_ADDRESS_SEND_ANYWAY"));
    return paragraphs.join(QStringLiteral("\n\n"));
}

bool ConfirmAddressWarnings(const QList<AddressWarning>& warnings, QWidget* parent) {
    const int answer =
        N12_MessageBox::ask(AddressWarningText(warnings), N12_MessageBox::Yes | N12_MessageBox::No,
                            N12_MessageBox::Warning, parent);
    return answer == N12_MessageBox::Yes;
}
