#include "sidethread.h"

#include <QtGlobal>

#include <system_error>

#ifdef Q_OS_LINUX
#include <sched.h>
#endif

namespace {

// Every core this process may use but the caller's current one.
void avoidCore(int core)
{
#ifdef Q_OS_LINUX
    cpu_set_t allowed;
    if (core < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0 || !CPU_ISSET(core, &allowed)
        || CPU_COUNT(&allowed) < 2)
        return;
    CPU_CLR(core, &allowed);
    sched_setaffinity(0, sizeof allowed, &allowed);
#else
    Q_UNUSED(core);
#endif
}

int currentCore()
{
#ifdef Q_OS_LINUX
    return sched_getcpu();
#else
    return -1;
#endif
}

bool severalCores()
{
#ifdef Q_OS_LINUX
    // The cores this process may run on, not those of the machine.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return CPU_COUNT(&allowed) > 1;
#endif
    return std::thread::hardware_concurrency() > 1;
}

} // namespace

SideThread::SideThread(std::function<void()> work)
{
    if (!severalCores())
        return;
    const int core = currentCore();
    try {
        m_thread = std::thread([core, work = std::move(work)] {
            avoidCore(core);
            work();
        });
        m_ran = true;
    } catch (const std::system_error &) {
        // No thread to be had: the caller does the work alone.
    }
}

void SideThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
