#pragma once

// The main of a benchmark that needs a QApplication: offscreen and OpenAL's
// null device unless the environment says otherwise.

#include <benchmark/benchmark.h>

#include <QApplication>

inline int RunQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ALSOFT_DRIVERS")) qputenv("ALSOFT_DRIVERS", "null");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
