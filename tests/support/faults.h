// Faults on demand for the suites linked with FAULTS, in calls made from the project's own code:
// while a FailAllocations is alive, malloc, calloc and realloc fail after `allowed` successful
// calls; while a FailStreams is alive, fwrite takes nothing and fclose closes but fails.
#pragma once

class FailAllocations {
  public:
    explicit FailAllocations(int allowed = 0) : remaining_(allowed) { active = this; }
    ~FailAllocations() { active = nullptr; }
    FailAllocations(const FailAllocations&) = delete;
    int Refused() const { return refused_; } // allocations refused so far
    static bool Refuse();                    // asked by the wrapped allocators

  private:
    static inline FailAllocations* active = nullptr;
    int remaining_, refused_ = 0;
};

class FailStreams {
  public:
    // `error` is the errno the calls fail with; 0 leaves errno alone (a short write, no reason).
    explicit FailStreams(int error) : error_(error) { active = this; }
    ~FailStreams() { active = nullptr; }
    FailStreams(const FailStreams&) = delete;
    static inline FailStreams* active = nullptr;
    const int error_;
};
