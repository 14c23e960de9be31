#pragma once
// The shared helpers of the OxaUtils unit, one header per topic; this header
// brings them all. Nothing here needs a widget: the combo-box and window
// placement helpers are in widgets/.
#include "util/BoolHexText.h"
#include "util/DebugNotify.h"
#include "util/OxaFileStream.h"
#include "util/PositionalFormat.h"
#include "util/TimeText.h"
#include "util/Tokens.h"
