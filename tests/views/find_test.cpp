// The main panel's find dialog: the analysers on the line, the one chosen put on the main panel,
// and a search that stops when told.
#include <functional>

#include "shell/find_analyser.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;

class Find : public LiveView {
  protected:
    int openDialog() {
        std::string error;
        EXPECT_TRUE(analyser.start(
            {.transport = sim::Transport::RtuOverTcp, .modelCode = 59, .moving = false, .seed = 11, .moreAddresses = {3}},
            &error))
            << error;
        SetCtrlVal(mainPanel, PRINCIPAL_PUERTO, 99);
        SetCtrlVal(mainPanel, PRINCIPAL_IP, "127.0.0.1");
        SetCtrlVal(mainPanel, PRINCIPAL_TCP_PUERTO, static_cast<unsigned>(analyser.tcpPort()));
        SimulateCommit(mainPanel, PRINCIPAL_BUSCAR);
        const int dialog = FindPanelByTitle("Find analyser");
        SetCtrlVal(dialog, BUSCAR_HASTA, 4);
        return dialog;
    }
};

TEST_F(Find, ListsTheAnalysersAsTheyAnswerAndPutsTheChosenOneOnTheMainPanel) {
    const int dialog = openDialog();
    ASSERT_GT(dialog, 0);
    // While address 4 is asked, the two that answered before it are listed already.
    int listedWhileAsking4 = -1;
    std::function<void()> watch = [&] {
        if (text(dialog, BUSCAR_ESTADO).rfind("Asking address 4", 0) == 0)
            GetNumListItems(dialog, BUSCAR_LISTA, listedWhileAsking4);
        else if (listedWhileAsking4 < 0)
            PostDeferredCall(watch);
    };
    PostDeferredCall(watch);
    SimulateCommit(dialog, BUSCAR_BUSCAR);
    EXPECT_EQ(listedWhileAsking4, 2);
    int count = 0;
    GetNumListItems(dialog, BUSCAR_LISTA, count);
    ASSERT_EQ(count, 2);
    std::string second;
    GetLabelFromIndex(dialog, BUSCAR_LISTA, 1, second);
    EXPECT_EQ(second, "Address 3 · 127.0.0.1:" + std::to_string(analyser.tcpPort()) +
                          " · RQ59 · serial number AB1203");
    EXPECT_EQ(text(dialog, BUSCAR_ESTADO), "Analysers found: 2");
    EXPECT_EQ(analyser.requestCount(), 4) << "one probe an address";

    SetCtrlVal(dialog, BUSCAR_LISTA, 1);
    SimulateCommit(dialog, BUSCAR_USAR);
    EXPECT_EQ(number(mainPanel, PRINCIPAL_IDENTIDAD), 3);
    EXPECT_EQ(FindPanelByTitle("Find analyser"), 0) << "the dialog closes";
    EXPECT_EQ(number(mainPanel, PRINCIPAL_COMUNICACION), 0) << "the operator switches on";
}

TEST_F(Find, CancelStopsAfterTheProbeUnderWay) {
    const int dialog = openDialog();
    PostDeferredCall([dialog] { SimulateCommit(dialog, BUSCAR_CANCELAR); });
    SimulateCommit(dialog, BUSCAR_BUSCAR);
    EXPECT_LE(analyser.requestCount(), 1) << "at most the probe under way";
    EXPECT_FALSE(dimmed(dialog, BUSCAR_BUSCAR)) << "ready to search again";
}

} // namespace
