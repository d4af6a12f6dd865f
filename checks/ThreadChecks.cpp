#include "checks/ThreadChecks.h"

#ifdef QM_THREAD_CHECKS

#include <cstdio>
#include <cstdlib>

namespace checks {

namespace {

thread_local int tProcessingDepth = 0;

} // namespace

ProcessingScope::ProcessingScope()
{
  ++tProcessingDepth;
}

ProcessingScope::~ProcessingScope()
{
  --tProcessingDepth;
}

bool InsideProcessingCall()
{
  return tProcessingDepth > 0;
}

void EditorThread::Open()
{
  mThread.store(std::this_thread::get_id(), std::memory_order_release);
}

void EditorThread::Close()
{
  mThread.store(std::thread::id(), std::memory_order_release);
}

bool EditorThread::Allows() const
{
  const std::thread::id opener = mThread.load(std::memory_order_acquire);
  return opener == std::thread::id() || opener == std::this_thread::get_id();
}

void ThreadRuleBroken(const char* operation, const char* rule)
{
  std::fprintf(stderr, "thread check: %s broke the rule %s\n", operation, rule);
  std::fflush(stderr);
  std::abort();
}

} // namespace checks

#endif
