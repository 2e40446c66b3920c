#pragma once

#include <QCoreApplication>
#include <QString>

class ObjectContext;

// A library of 10,000 profiles with 5 forwardings and 2 of 50 tags each.
inline constexpr int benchProfileCount = 10000;

// Fills the context with the library and saves it.
void fillBenchLibrary(ObjectContext &context);
// A store file holding the library, made once per process.
QString benchLibraryPath();

// The main() of a Google Benchmark program whose code needs a Qt application object.
#define VELL_BENCHMARK_MAIN()                                                                      \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
