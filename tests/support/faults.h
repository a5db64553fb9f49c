// Refused allocations on demand, for the suites linked with FAULTS: while a FailAllocations is
// alive, malloc, calloc and realloc called from the project's own code fail after `allowed`
// successful calls.
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
