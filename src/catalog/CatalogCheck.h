// `OrvexClient --catalog-check`: reconciles the catalog of a RecordDir with its files
// (CReconciler, as a start does, leaving alone what a running program records) and
// prints per camera its files, the hours they hold and the gaps with their cause.
//
// Threads: the caller's; it may run beside a recording program.
#pragma once

#include <cstdint>
#include <string>

// The report; exit code 0, or 1 when recordDir does not exist.
int RunCatalogCheck(const std::string& recordDir, int64_t nowMs, std::string* report);
