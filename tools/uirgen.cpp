// Generates the header of panel and control constants from the panel file RQ55.uir.
//
// A panel constant is the panel's resource number; a control constant is the control's number
// within its panel (its position in the panel's list, from 2 up: 1 stays free so no control is
// ever numbered like a menu bar). Menus and menu items are numbered together per menu bar, from 1.
// Names must be unique across the whole file, so the build fails on a typo instead of a panel
// quietly losing a control.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QString>
#include <cstdio>

static int fail(const QString& message) {
    std::fprintf(stderr, "uirgen: %s\n", qPrintable(message));
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) return fail("usage: uirgen RQ55.uir output.h");
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) return fail("cannot read " + in.fileName());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    if (doc.isNull())
        return fail(QString("%1: %2 at offset %3").arg(in.fileName(), error.errorString()).arg(error.offset));

    QString out;
    out += "// Generated from RQ55.uir by uirgen; edit the panel file, not this header.\n";
    out += "#pragma once\n\n";
    QSet<QString> names;
    QSet<int> resources;
    auto claim = [&](const QString& name) -> bool {
        if (name.isEmpty() || names.contains(name)) return false;
        names.insert(name);
        return true;
    };

    for (const QJsonValue& pv : doc.object().value("panels").toArray()) {
        const QJsonObject panel = pv.toObject();
        const QString panelName = panel.value("name").toString();
        const int resource = panel.value("resource").toInt(-1);
        if (!claim(panelName)) return fail("panel name missing or used twice: '" + panelName + "'");
        if (resource <= 0 || resources.contains(resource))
            return fail(QString("panel %1: resource number missing or used twice").arg(panelName));
        resources.insert(resource);
        out += QString("// Panel %1: %2\n").arg(resource).arg(panel.value("title").toString());
        out += QString("constexpr int %1 = %2;\n").arg(panelName).arg(resource);

        int number = 2;
        for (const QJsonValue& cv : panel.value("controls").toArray()) {
            const QString name = cv.toObject().value("name").toString();
            if (!claim(name)) return fail("control name missing or used twice: '" + name + "'");
            out += QString("constexpr int %1 = %2;\n").arg(name).arg(number++);
        }
        int menuNumber = 1;
        for (const QJsonValue& mv : panel.value("menubar").toArray()) {
            const QJsonObject menu = mv.toObject();
            const QString name = menu.value("name").toString();
            if (!claim(name)) return fail("menu name missing or used twice: '" + name + "'");
            out += QString("constexpr int %1 = %2;\n").arg(name).arg(menuNumber++);
            for (const QJsonValue& iv : menu.value("items").toArray()) {
                const QString item = iv.toObject().value("name").toString();
                if (!claim(item)) return fail("menu item name missing or used twice: '" + item + "'");
                out += QString("constexpr int %1 = %2;\n").arg(item).arg(menuNumber++);
            }
        }
        out += "\n";
    }

    QSaveFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly)) return fail("cannot write " + file.fileName());
    file.write(out.toUtf8());
    if (!file.commit()) return fail("cannot write " + file.fileName());
    return 0;
}
