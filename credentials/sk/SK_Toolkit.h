#pragma once

#include "credentials/sk/SK_Types.h"
#include "platform/CriticalSection.h"

// The toolkit's start-up state. The first Start records the mode and runs
// the start-up routine (the known-answer self-tests of SHA-1 and CAST-128
// and a check of the random generator); in mode 0 a passing start-up makes
// the toolkit ready. Later calls succeed only with the recorded mode. A
// failed start-up leaves the toolkit failed for good. Safe to call from
// several threads.
class SK_Toolkit {
 public:
  // The routine run by the first Start; true when it passed.
  using StartupRoutine = bool (*)();

  explicit SK_Toolkit(StartupRoutine routine = &SK_Toolkit::SelfTest) : routine_(routine) {}
  SK_Toolkit(const SK_Toolkit&) = delete;
  SK_Toolkit& operator=(const SK_Toolkit&) = delete;

  // kSkOk, or kSkAlreadyStarted when started in another mode or failed.
  SK_Status Start(int mode);
  bool IsReady();

  // The process-wide toolkit.
  static SK_Toolkit& Instance();
  // The toolkit's own start-up routine.
  static bool SelfTest();

 private:
  enum class State { kNotStarted, kStarted, kReady, kFailed };

  CriticalSection lock_;
  StartupRoutine routine_;
  State state_ = State::kNotStarted;
  int mode_ = 0;
};

// Starts the process-wide toolkit in the given mode (SK_Toolkit::Start).
SK_Status SK_Startup(int mode);
