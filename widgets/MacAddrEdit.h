// The compound field for a MAC address.
#pragma once

#include "IpAddrEdit.h"

// MacAddrEdit edits a MAC address as six two-digit hexadecimal bytes
// ("%1:%2:%3:%4:%5:%6"), either case as typed.
class MacAddrEdit : public AddrEditBase {
    Q_OBJECT
public:
    explicit MacAddrEdit(QWidget* parent = nullptr);
};
