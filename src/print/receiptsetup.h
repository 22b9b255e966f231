#pragma once

#include "print/escpos.h"
#include "print/receiptlayout.h"
#include "print/receiptsender.h"

// How the POS receipt is printed, as the receipt settings window holds it.
struct ReceiptSetup
{
    posreceipt::Paper paper;
    // False: a page through the default printer (Qt printing, any CUPS driver).
    // True: ESC/POS bytes straight to `port`.
    bool escPos = false;
    PrinterPort port;
    // Mode and Chinese mode of the ESC/POS bytes; openDrawer is the setting,
    // applied to sales paid in cash.
    escpos::Options options;
};
