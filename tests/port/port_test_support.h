// The shared test helpers under the names the port tests use.
#pragma once

#include "support/message_boxes.h"
#include "support/parallel_backend.h"
#include "support/roots.h"
#include "support/temp_dir.h"

namespace porttest {
using testsupport::BackendGuard;
using testsupport::MessageBoxCall;
using testsupport::MessageBoxRecorder;
using testsupport::RootGuard;
using testsupport::SimParallelBackend;
using testsupport::TempDir;
} // namespace porttest
