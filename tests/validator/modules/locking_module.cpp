// Takes a lock around every block, as a module that shares its state with another thread
// might: uncontended here, but a real-time thread that may wait.
#include "small_module.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

class Locking : public SmallModule {
  public:
    Locking(HostCallback callback, intptr_t handle) : SmallModule(callback, handle) {
#if defined(_WIN32)
        InitializeCriticalSection(&lock);
#endif
    }
    ~Locking() override {
#if defined(_WIN32)
        DeleteCriticalSection(&lock);
#endif
    }

  protected:
    void process(int32_t start, int32_t frames) override {
#if defined(_WIN32)
        EnterCriticalSection(&lock);
        SmallModule::process(start, frames);
        LeaveCriticalSection(&lock);
#else
        pthread_mutex_lock(&lock);
        SmallModule::process(start, frames);
        pthread_mutex_unlock(&lock);
#endif
    }

  private:
#if defined(_WIN32)
    CRITICAL_SECTION lock;
#else
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
#endif
};

} // namespace

SMALL_MODULE_EXPORTS(Locking, "LOCKING")
