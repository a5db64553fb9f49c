// Posting and popping events: the queue's records from its block pool against the same queue
// with a malloc and a free per record.
#include "window/window.h"

#include "bench/ratio.h"
#include <algorithm>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int64_t kEvents = 10'000'000;

// The queue is filled and emptied in bursts of these sizes in turn. A quiet queue holds a few
// events; a busy one hundreds, so the pool keeps adding and releasing chunks.
struct Workload {
    const char* name;
    std::vector<int> bursts;
};
const Workload kWorkloads[] = {{"quiet", {1, 3, 8, 2, 5}}, {"busy", {40, 200, 700}}};

// The queue of the window library, with its records taken from the heap one by one. Like the
// library's own, its operations are calls, not inlined into the loop.
namespace heap {

EventRecord* head = nullptr;
EventRecord* tail = nullptr;
int32_t lockCount = 0;

[[gnu::noinline]] void Post(int32_t kind, intptr_t object, intptr_t window, intptr_t type) {
    if (lockCount != 0) return;
    if (tail && tail->kind <= LastMergedEventKind && tail->kind == kind && tail->object == object &&
        tail->window == window && tail->type == type)
        return;
    auto* record = static_cast<EventRecord*>(std::malloc(sizeof(EventRecord)));
    if (!record) return;
    *record = EventRecord{nullptr, kind, object, window, type, nullptr, nullptr};
    if (tail)
        tail->next = record;
    else
        head = record;
    tail = record;
}

[[gnu::noinline]] int32_t Pop(intptr_t* object, intptr_t* window, intptr_t* type, void** data,
                              EventFreeFunction* freeData) {
    EventRecord* record = head;
    if (!record) return 0;
    *object = record->object;
    *window = record->window;
    *type = record->type;
    *data = record->data;
    *freeData = record->freeData;
    int32_t kind = record->kind;
    head = record->next;
    if (record == tail) tail = nullptr;
    std::free(record);
    return kind;
}

} // namespace heap

template <typename PostFunction, typename PopFunction>
int64_t PostAndPop(const std::vector<int>& bursts, PostFunction post, PopFunction pop) {
    int64_t checksum = 0;
    intptr_t object = 0, window = 0, type = 0;
    void* data = nullptr;
    EventFreeFunction freeData = nullptr;
    for (int64_t done = 0, burst = 0; done < kEvents; ++burst) {
        int size = bursts[burst % bursts.size()];
        for (int i = 0; i < size; ++i)
            post(Gadget, done + i, 0, 0);
        for (int i = 0; i < size; ++i)
            checksum += pop(&object, &window, &type, &data, &freeData) + object;
        done += size;
    }
    return checksum;
}

void PoolQueue(benchmark::State& state) {
    const Workload& workload = kWorkloads[state.range(0)];
    state.SetLabel(workload.name);
    InitEventQueue();
    for (auto _ : state)
        benchmark::DoNotOptimize(PostAndPop(
            workload.bursts,
            [](int32_t k, intptr_t o, intptr_t w, intptr_t t) { PostEvent(k, o, w, t); },
            PopEvent));
    state.SetItemsProcessed(state.iterations() * kEvents);
}

void MallocQueue(benchmark::State& state) {
    const Workload& workload = kWorkloads[state.range(0)];
    state.SetLabel(workload.name);
    for (auto _ : state)
        benchmark::DoNotOptimize(PostAndPop(workload.bursts, heap::Post, heap::Pop));
    state.SetItemsProcessed(state.iterations() * kEvents);
}

BENCHMARK(MallocQueue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PoolQueue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    std::vector<RatioPair> pairs;
    for (const Workload& workload : kWorkloads)
        pairs.push_back({std::string("pool / malloc, ") + workload.name + " queue",
                         std::string("PoolQueue/") + workload.name,
                         std::string("MallocQueue/") + workload.name});
    return RunWithRatios(argc, argv, pairs);
}
