// Sized heap blocks and doubly linked lists of them.
#include "runtime/runtime.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kHeader = sizeof(int64_t);
constexpr int64_t kLargestPayload = static_cast<int64_t>(SIZE_MAX / 2) - kHeader;

int64_t* HeaderOf(const void* block) {
    return reinterpret_cast<int64_t*>(const_cast<char*>(static_cast<const char*>(block)) - kHeader);
}

} // namespace

void* AllocateBlock(int64_t size) {
    if (size < 0 || size > kLargestPayload) return nullptr;
    auto* header = static_cast<int64_t*>(std::calloc(1, static_cast<size_t>(size + kHeader)));
    if (!header) return nullptr;
    *header = size;
    return header + 1;
}

void* ResizeBlock(void* block, int64_t size) {
    if (!block || size < 0 || size > kLargestPayload) return nullptr;
    int64_t* header = HeaderOf(block);
    int64_t oldSize = *header;
    auto* grown = static_cast<int64_t*>(std::realloc(header, static_cast<size_t>(size + kHeader)));
    if (!grown) return nullptr;
    if (size > oldSize)
        std::memset(reinterpret_cast<char*>(grown + 1) + oldSize, 0, size - oldSize);
    *grown = size;
    return grown + 1;
}

void FreeBlock(void* block) {
    if (block) std::free(HeaderOf(block));
}

int64_t BlockSize(const void* block) {
    return block ? *HeaderOf(block) : 0;
}

void* AddListBlock(ListBlock** head, int32_t size) {
    if (size < static_cast<int32_t>(sizeof(ListBlock))) return nullptr;
    auto* block = static_cast<ListBlock*>(AllocateBlock(size));
    if (!block) return nullptr;
    block->next = *head;
    if (*head) (*head)->previous = block;
    *head = block;
    return block + 1;
}

void RemoveListBlock(ListBlock** head, void* data) {
    ListBlock* block = static_cast<ListBlock*>(data) - 1;
    if (block == *head) {
        *head = block->next;
        if (*head) (*head)->previous = nullptr;
    } else {
        if (block->previous) block->previous->next = block->next;
        if (block->next) block->next->previous = block->previous;
    }
    FreeBlock(block);
}

void FreeListBlocks(ListBlock** head) {
    for (ListBlock* block = *head; block;) {
        ListBlock* next = block->next;
        FreeBlock(block);
        block = next;
    }
    *head = nullptr;
}
