// The dispatcher as a host reaches it: through the record's entries only.
#include "support/table_module.h"

#include <gtest/gtest.h>

namespace {

intptr_t send(ModuleDriver& host, int32_t opcode, int32_t index = 0, int32_t value = 0,
              void* pointer = nullptr, float opt = 0.0f) {
    Result<intptr_t> answer = host.dispatch(opcode, index, value, pointer, opt);
    EXPECT_TRUE(answer.ok()) << answer.error();
    return answer ? *answer : 0;
}

TEST(Dispatcher, FreshInstanceHasTheDocumentedRecordAndDefaults) {
    TableRig rig;
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    PluginRecord* record = module->pluginRecord();
    EXPECT_EQ(record->magic, 0x5345504C);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->hostHandle, reinterpret_cast<intptr_t>(&host));
    EXPECT_EQ(record->instance, static_cast<SEModule_base*>(module));
    EXPECT_EQ(record->reserved0, 0);
    for (int32_t word : record->reserved)
        EXPECT_EQ(word, 0);
    EXPECT_EQ(module->sampleRate, 44100.0f);
    EXPECT_EQ(module->blockSize, 1024);
    EXPECT_EQ(module->pins, nullptr);
    // The idle routine is installed and callable before open.
    ASSERT_NE(record->subProcess, nullptr);
    record->subProcess(record->instance, 0, 64);
    EXPECT_TRUE(host.requests().empty());
    EXPECT_EQ(send(host, OpClose), 1);
}

TEST(Dispatcher, PinDescriptionOfABareInstanceIsRefused) {
    TableRig rig;
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    for (int32_t index : {-1, 0, 1, 13, 1000}) {
        EXPECT_EQ(host.describePin(index).answer, 0) << index;
    }
    // A null description is refused without asking the module.
    module->asked.clear();
    EXPECT_EQ(send(host, OpGetPinDescription, 0, 0, nullptr), 0);
    EXPECT_TRUE(module->asked.empty());
}

TEST(Dispatcher, SubProcessInfoPointsAtTheAskingInstance) {
    TableRig one, two;
    TableModule* first = one.module;
    TableModule* second = two.module;
    auto* info = reinterpret_cast<SubProcessInfo*>(send(one.host, OpSubProcessInfo));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->size, static_cast<int32_t>(sizeof(SubProcessSelection)));
    EXPECT_EQ(info->selection, &first->subProcess);
    EXPECT_EQ(info->zero, 0);
    EXPECT_EQ(info->selection->routine, first->pluginRecord()->subProcess);

    // One record for the library: the second request overwrites the first answer.
    auto* again = reinterpret_cast<SubProcessInfo*>(send(two.host, OpSubProcessInfo));
    EXPECT_EQ(again, info);
    EXPECT_EQ(info->selection, &second->subProcess);
}

TEST(Dispatcher, RateBlockSizeAndForwardedRequests) {
    TableRig rig;
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    EXPECT_EQ(send(host, OpSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(send(host, OpSetBlockSize, 0, 256), 0);
    EXPECT_EQ(module->getSampleRate(), 48000.0f);
    EXPECT_EQ(module->getBlockSize(), 256);

    EXPECT_EQ(send(host, OpRequest8, 0), 0);
    EXPECT_EQ(send(host, OpRequest8, -3), 0);
    EXPECT_EQ(send(host, OpRequest8, 5), 0);
    EXPECT_EQ(send(host, OpRequest12, 7, 9), 0);
    EXPECT_EQ(module->calls, (std::vector<int32_t>{8, 8, 8, 1005, 12, 9, 7}));
}

TEST(Dispatcher, UnknownOpcodesAnswerZeroAndChangeNothing) {
    TableRig rig;
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    for (int32_t opcode : {-1000, -1, 4, 5, 7, 9, 10, 11, 14, 255, 1000}) {
        char scratch[64] = {};
        EXPECT_EQ(send(host, opcode, 3, 4, scratch, 1.0f), 0) << opcode;
    }
    EXPECT_EQ(module->sampleRate, 44100.0f);
    EXPECT_EQ(module->blockSize, 1024);
    EXPECT_TRUE(module->calls.empty());
    EXPECT_TRUE(host.requests().empty());
}

TEST(Dispatcher, CloseDestroysTheInstanceOnce) {
    TableModule::destroyed = 0;
    TableRig rig({pinOf(DtInt16)}, 1);
    send(rig.host, OpOpen);
    EXPECT_EQ(send(rig.host, OpClose), 1);
    EXPECT_EQ(TableModule::destroyed, 1);
}

TEST(Dispatcher, RecordsThatAreNotOursAreRefused) {
    TableRig rig;
    PluginRecord forged = *rig.module->pluginRecord();
    forged.magic = 0;
    EXPECT_EQ(forged.dispatcher(&forged, OpSubProcessInfo, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(forged.dispatcher(nullptr, OpSubProcessInfo, 0, 0, nullptr, 0.0f), 0);
}

int routineCalls = 0;
void SE_ABI countingRoutine(void*, int32_t, int32_t) {
    ++routineCalls;
}
void SE_ABI otherRoutine(void*, int32_t, int32_t) {}

TEST(SetSubProcess, TellsTheHostOnlyAboutAChange) {
    routineCalls = 0;
    TableRig rig;
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    PluginRecord* record = module->pluginRecord();

    module->setSubProcess({module->subProcess.routine, {0, 0, 0}});
    EXPECT_EQ(host.countOf(HostSubProcessChanged), 0);

    module->setSubProcess({countingRoutine, {0, 0, 0}});
    EXPECT_EQ(host.countOf(HostSubProcessChanged), 1);
    EXPECT_EQ(record->subProcess, &countingRoutine);
    record->subProcess(record->instance, 0, 1);
    EXPECT_EQ(routineCalls, 1);

    module->setSubProcess({countingRoutine, {0, 0, 0}});
    EXPECT_EQ(host.countOf(HostSubProcessChanged), 1);
    module->setSubProcess({countingRoutine, {0, 1, 0}}); // same routine, other words
    EXPECT_EQ(host.countOf(HostSubProcessChanged), 2);
    module->setSubProcess({otherRoutine, {0, 1, 0}});
    EXPECT_EQ(host.countOf(HostSubProcessChanged), 3);
    EXPECT_EQ(module->subProcess.words[1], 1);
}

TEST(NullCallback, OpensWithoutPinsAndAsksNothing) {
    TableRig rig({pinOf(DtSamples), pinOf(DtMidi)}, 2, false);
    ModuleDriver& host = rig.host;
    TableModule* module = rig.module;
    PluginRecord* record = host.record();
    send(host, OpOpen);
    EXPECT_EQ(module->pins, nullptr);
    EXPECT_EQ(module->pinCount(), 0);
    EXPECT_EQ(module->sampleClock(), 0);
    module->setSubProcess({countingRoutine, {0, 0, 0}}); // no host to tell, no crash
    EXPECT_EQ(record->subProcess, &countingRoutine);
}

} // namespace
