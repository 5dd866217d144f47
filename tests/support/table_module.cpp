#include "support/table_module.h"

#include <stdexcept>

namespace {

std::vector<PinDescription> nextTable; // the table the next instance is made with

PluginRecord* SE_ABI makeTableModule(int32_t, int32_t, HostCallback callback, intptr_t handle) {
    return (new TableModule(callback, handle, std::move(nextTable)))->pluginRecord();
}

std::unique_ptr<ModuleDriver> tableDriver(std::vector<PinDescription> table, int32_t pinCount,
                                          bool withCallback) {
    nextTable = std::move(table);
    MakeOptions options;
    options.withCallback = withCallback;
    return linkedDriver({nullptr, makeTableModule}, options, pinCount);
}

} // namespace

std::unique_ptr<ModuleDriver> linkedDriver(ModuleEntries entries, MakeOptions options,
                                           int32_t pinCount) {
    Result<std::unique_ptr<ModuleDriver>> made = ModuleDriver::make(entries, options);
    if (!made)
        throw std::runtime_error(made.error());
    (*made)->answerPinCount(pinCount);
    return std::move(*made);
}

TableRig::TableRig(std::vector<PinDescription> table, int32_t pinCount, bool withCallback)
    : driver(tableDriver(std::move(table), pinCount, withCallback)), host(*driver),
      module(static_cast<TableModule*>(static_cast<SEModule_base*>(driver->instance()))) {}
