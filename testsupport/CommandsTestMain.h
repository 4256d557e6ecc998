#pragma once
#include "CapturingSink.h"
#include "FakeRasApi.h"
#include "VirtualClock.h"
#include "VpnAdmin.h"

namespace corvel::test {
CFakeRasApi& Ras();
CCapturingSink& EngineSink();
} // namespace corvel::test
