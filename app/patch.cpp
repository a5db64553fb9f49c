// The patch table turned into the bytes one press of "Patch" writes, and their writing through
// file number 0 with a seek before every byte.
#include "app/patch.h"
#include "file/file.h"

namespace {

void PlanWord(PatchPlan& plan, int32_t offset, uint16_t value) {
    plan.writes[plan.count++] = {offset, static_cast<uint8_t>(value & 0xFF)};
    plan.writes[plan.count++] = {offset + 1, static_cast<uint8_t>(value >> 8)};
}

} // namespace

PatchPlan PlanPatch(const Resolution* resolution, bool skipIntro) {
    PatchPlan plan;
    if (skipIntro) plan.writes[plan.count++] = {kSkipIntroOffset, kSkipIntroValue};
    if (resolution) {
        for (int32_t offset : kHeightOffsets)
            PlanWord(plan, offset, resolution->height);
        for (int32_t offset : kWidthOffsets)
            PlanWord(plan, offset, resolution->width);
        plan.resolution = true;
    }
    return plan;
}

void WritePlan(const PatchPlan& plan) {
    for (int32_t i = 0; i < plan.count; ++i) {
        FileSeek(kPatchFile, plan.writes[i].offset);
        WriteByte(kPatchFile, plan.writes[i].value);
    }
}
