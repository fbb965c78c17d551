#include "imaging/DocumentUi.h"

DocumentUi& TheDocumentUi()
{
    static DocumentUi hooks;
    return hooks;
}
