#pragma once

// Checks of the thread rules that the tags beside operations state ([audio] and [main]: see the
// top of plug/IPluginAPIBase.h). They are compiled in with -DQM_THREAD_CHECKS=ON, which the
// sanitizer builds of tools/qm test use, and are nothing at all otherwise. A broken rule ends the
// process with the operation's name and the rule, so a test run under the checks stops loudly at
// the call that broke it.
//
// Each rule is one that every legal host keeps:
//   [audio] QM_AUDIO_THREAD(): the calling thread is inside a processing call. A binding's
//           processing callbacks mark their thread for their duration (ProcessingScope), whichever
//           thread the host processes on from one block to the next, its user-interface thread
//           included when it renders offline. Code that processes outside a binding (tools,
//           tests) marks its thread the same way.
//   [main]  QM_MAIN_THREAD(editorThread): while the editor is open, the thread that opened it
//           (EditorThread); while it is closed any thread, as hosts and tests make, load and
//           change plug-ins before an editor exists.
// [host] and [any] hold for any thread and have no check.

#ifdef QM_THREAD_CHECKS
#include <atomic>
#include <thread>
#endif

namespace checks {

#ifdef QM_THREAD_CHECKS

inline constexpr bool kThreadChecks = true;

// Marks the calling thread as inside a processing call while it lives; scopes nest.
class ProcessingScope
{
public:
  ProcessingScope();
  ~ProcessingScope();
  ProcessingScope(const ProcessingScope&) = delete;
  ProcessingScope& operator=(const ProcessingScope&) = delete;
};

// [any] Whether a ProcessingScope of the calling thread is alive.
bool InsideProcessingCall();

// The thread an editor was opened on, while it is open.
class EditorThread
{
public:
  void Open();  // [main] the calling thread opens the editor
  void Close(); // [main] the editor is closed
  // [any] True while the editor is closed, and on the thread that opened it.
  bool Allows() const;

private:
  std::atomic<std::thread::id> mThread{};
};

// Writes the operation and the rule it broke to standard error and aborts.
[[noreturn]] void ThreadRuleBroken(const char* operation, const char* rule);

#define QM_AUDIO_THREAD()                                                                                              \
  (::checks::InsideProcessingCall()                                                                                    \
       ? static_cast<void>(0)                                                                                          \
       : ::checks::ThreadRuleBroken(__PRETTY_FUNCTION__,                                                               \
                                    "[audio]: only inside a processing call on the calling thread"))
#define QM_MAIN_THREAD(editorThread)                                                                                   \
  ((editorThread).Allows() ? static_cast<void>(0)                                                                      \
                           : ::checks::ThreadRuleBroken(__PRETTY_FUNCTION__,                                           \
                                                        "[main]: while the editor is open, only on the thread that "   \
                                                        "opened it"))

#else

inline constexpr bool kThreadChecks = false;

class ProcessingScope
{
public:
  // User-provided, so that a scope that does nothing is no unused variable.
  ProcessingScope() {}
  ~ProcessingScope() {}
  ProcessingScope(const ProcessingScope&) = delete;
  ProcessingScope& operator=(const ProcessingScope&) = delete;
};

class EditorThread
{
public:
  void Open() {}
  void Close() {}
  bool Allows() const { return true; }
};

#define QM_AUDIO_THREAD() static_cast<void>(0)
#define QM_MAIN_THREAD(editorThread) static_cast<void>(0)

#endif

} // namespace checks
