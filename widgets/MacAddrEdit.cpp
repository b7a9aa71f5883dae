#include "MacAddrEdit.h"

#include "AddrPartLineEdit.h"

MacAddrEdit::MacAddrEdit(QWidget* parent)
    : AddrEditBase(QLatin1Char(':'), QStringLiteral("(([0-9a-fA-F]){2}:){5}([0-9a-fA-F]){2}"),
                   parent) {
    QList<AddrPartLineEdit*> parts;
    for (int i = 0; i < 6; ++i)
        parts.append(new MyMacPartLineEdit(this));
    setParts(parts);
}
