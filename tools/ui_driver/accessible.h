// What the system's accessibility layer tells a screen reader about one control: its name and
// role, as AccessibleObjectFromWindow gives them for the control's client object.
#pragma once

#include <windows.h>

#include <string>

#include "tools/ui_driver/json_line.h"

namespace qv::ui {

// {"ok":true,"name":...,"role":N,"role_text":...,"value":...,"state":N} of the control's client
// object (its own, CHILDID_SELF); a member the object does not give is null, with the HRESULT
// in "<member>_hr". {"ok":false,"error":...} when no object was had.
CJsonObject AccessibleJson(HWND control);

}  // namespace qv::ui
