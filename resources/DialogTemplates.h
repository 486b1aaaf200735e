#pragma once
// The program's dialog templates, in dialog units.

#include "framework/DialogTemplate.h"

namespace corvane {

const DialogTemplate& AboutTemplate();     // 100
const DialogTemplate& MainTemplate();      // 102
const DialogTemplate& MatrixTemplate();    // 134
const DialogTemplate& MessageTemplate();   // 135
const DialogTemplate& ConfigIpTemplate();  // 139
const DialogTemplate& EdidTemplate();      // 140
const DialogTemplate& StatusTemplate();    // 142
const DialogTemplate& FirmwareTemplate();  // 144

}  // namespace corvane
