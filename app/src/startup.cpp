#include "app/startup.h"

#include "app/frmmemory.h"
#include "core/paths.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QStyleFactory>

namespace tollvik {

void configureApplication(QApplication& app)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);
    // Liberation Sans has the metrics of Arial; without the substitution "MS Sans Serif" would
    // fall back to the wider DejaVu Sans.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

int runTollvikAlerts(QApplication& app)
{
    configureApplication(app);

    // The program folder is the current directory from the start.
    const QString folder = programFolderOfExecutable();
    QDir::setCurrent(folder);

    frmmemory window(AppContext{folder});
    window.Form_Load();
    window.show();
    return app.exec();
}

} // namespace tollvik
