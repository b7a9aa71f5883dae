#include "SkinResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must not be used inside a namespace, hence this wrapper
// at file scope.
static void initSkinQrc()
{
    Q_INIT_RESOURCE(skin);
}

void InitSkinResources()
{
    initSkinQrc();
}
