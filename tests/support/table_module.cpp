#include "support/table_module.h"

namespace {

std::vector<PinDescription> nextTable; // the table the next instance is made with

PluginRecord* SE_ABI makeTableModule(int32_t, int32_t, HostCallback callback, intptr_t handle) {
    return (new TableModule(callback, handle, std::move(nextTable)))->pluginRecord();
}

Setup tableSetup(std::vector<PinDescription> table, int32_t pinCount, bool withCallback) {
    nextTable = std::move(table);
    Setup setup = unopened(Setup::Made, withCallback);
    setup.pinCount = pinCount;
    setup.askProperties = true;
    setup.checkNotes = false;
    return setup;
}

} // namespace

TableRig::TableRig(std::vector<PinDescription> table, int32_t pinCount, bool withCallback)
    : Instance(ModuleEntries{nullptr, makeTableModule},
               tableSetup(std::move(table), pinCount, withCallback)),
      module(static_cast<TableModule*>(static_cast<SEModule_base*>(host.instance()))) {}
