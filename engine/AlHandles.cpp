#include "engine/AlHandles.h"

#include <AL/alext.h>

namespace openal {

namespace {

struct ThreadContextCalls {
    PFNALCSETTHREADCONTEXTPROC set = nullptr;
    PFNALCGETTHREADCONTEXTPROC get = nullptr;
};

// Looked up once per process; the entry points do not change.
const ThreadContextCalls& Calls() {
    static const ThreadContextCalls calls = [] {
        ThreadContextCalls c;
        if (alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context") == ALC_TRUE) {
            c.set = reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(
                alcGetProcAddress(nullptr, "alcSetThreadContext"));
            c.get = reinterpret_cast<PFNALCGETTHREADCONTEXTPROC>(
                alcGetProcAddress(nullptr, "alcGetThreadContext"));
            if (c.set == nullptr || c.get == nullptr) c = {};
        }
        return c;
    }();
    return calls;
}

}  // namespace

bool HasThreadContexts() { return Calls().set != nullptr; }

void ContextDestroyer::operator()(ALCcontext* context) const noexcept {
    const ThreadContextCalls& calls = Calls();
    if (calls.get != nullptr && calls.get() == context) calls.set(nullptr);
    if (alcGetCurrentContext() == context) alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
}

ThreadContextScope::ThreadContextScope(ALCcontext* context) {
    const ThreadContextCalls& calls = Calls();
    if (context == nullptr || calls.set == nullptr) return;
    m_previous = calls.get();
    if (m_previous == context) {
        m_ok = true;
        return;
    }
    m_ok = calls.set(context) == ALC_TRUE;
    m_changed = m_ok;
}

ThreadContextScope::~ThreadContextScope() {
    if (m_changed) Calls().set(m_previous);
}

}  // namespace openal
