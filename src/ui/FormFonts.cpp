#include "ui/FormFonts.h"

#include <QFontDatabase>
#include <QStringList>

// The resource lives in a static library: nothing would pull it into the
// program unless it is named.
static void initFormFontsResource()
{
    Q_INIT_RESOURCE(FormFonts);
}

namespace velmora {

bool loadFormFonts()
{
    static const bool loaded = [] {
        initFormFontsResource();
        bool all = true;
        for (const char *name : {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf"}) {
            if (QFontDatabase::addApplicationFont(QLatin1String(":/fonts/") + QLatin1String(name)) <
                0) {
                all = false;
            }
        }
        if (!all) {
            qWarning("The built-in Liberation Sans could not be loaded; captions may not fit.");
        }
        return all;
    }();
    return loaded;
}

} // namespace velmora
