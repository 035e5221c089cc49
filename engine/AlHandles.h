#pragma once

// Small owners for the OpenAL objects the sound engine holds. Each releases
// its object exactly once; buffers and sources need their context bound to
// the releasing thread (the engine makes sure of that).

#include <AL/al.h>
#include <AL/alc.h>

#include <memory>
#include <utility>

namespace openal {

struct DeviceCloser {
    void operator()(ALCdevice* device) const noexcept { alcCloseDevice(device); }
};

// Unbinds the context from the calling thread and from the process before
// destroying it, so that nothing is left current.
struct ContextDestroyer {
    void operator()(ALCcontext* context) const noexcept;
};

using Device = std::unique_ptr<ALCdevice, DeviceCloser>;
using Context = std::unique_ptr<ALCcontext, ContextDestroyer>;

// A generated AL object name (buffer or source), deleted once.
template <void (*Generate)(ALsizei, ALuint*), void (*Delete)(ALsizei, const ALuint*)>
class Name {
public:
    Name() = default;
    ~Name() { reset(); }
    Name(Name&& other) noexcept : m_name(std::exchange(other.m_name, 0)) {}
    Name& operator=(Name&& other) noexcept {
        if (this != &other) {
            reset();
            m_name = std::exchange(other.m_name, 0);
        }
        return *this;
    }
    Name(const Name&) = delete;
    Name& operator=(const Name&) = delete;

    // Generates a new object in the current context. Returns an empty Name
    // when AL reports an error.
    [[nodiscard]] static Name Create() {
        Name created;
        alGetError();
        ALuint name = 0;
        Generate(1, &name);
        if (alGetError() == AL_NO_ERROR && name != 0) created.m_name = name;
        return created;
    }

    void reset() noexcept {
        if (m_name != 0) Delete(1, &m_name);
        m_name = 0;
    }
    [[nodiscard]] ALuint get() const noexcept { return m_name; }
    explicit operator bool() const noexcept { return m_name != 0; }

private:
    ALuint m_name = 0;
};

using Buffer = Name<alGenBuffers, alDeleteBuffers>;
using Source = Name<alGenSources, alDeleteSources>;

// True when this OpenAL offers per-thread contexts; the engine needs them so
// that several engines and their watcher threads never fight over one
// process-wide current context.
[[nodiscard]] bool HasThreadContexts();

// Binds a context to the calling thread for the scope's lifetime and then
// restores what was bound before. Cheap when it is bound already.
class ThreadContextScope {
public:
    explicit ThreadContextScope(ALCcontext* context);
    ~ThreadContextScope();
    ThreadContextScope(const ThreadContextScope&) = delete;
    ThreadContextScope& operator=(const ThreadContextScope&) = delete;

    // False when the context could not be bound.
    [[nodiscard]] bool ok() const noexcept { return m_ok; }

private:
    ALCcontext* m_previous = nullptr;
    bool m_changed = false;
    bool m_ok = false;
};

}  // namespace openal
