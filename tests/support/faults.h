// Refused allocations on demand, for the suites linked with FAULTS: while a FailAllocations is
// alive, malloc, calloc and realloc called from the project's own code fail after `allowed`
// successful calls.
#pragma once

class FailAllocations {
  public:
    explicit FailAllocations(int allowed = 0);
    ~FailAllocations();
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;
    int Refused() const; // allocations refused so far
};
