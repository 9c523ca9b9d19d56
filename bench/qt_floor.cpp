// rq55-bench-qt-floor: a process that loads Qt Core and does nothing with it, the least any program
// linked to Qt Core costs to start; the benchmark runs it beside rq55ctl and mbpoll.
#include <QString>
#include <cstdio>

int main(int argc, char**) {
    std::puts(qPrintable(QString::number(argc)));
    return 0;
}
