#include "ui/reporterror.h"

#include "core/messageport.h"

void reportError(const Error& error)
{
    if (error.kind == Error::Kind::Shortage)
        messagePort().inform(error.text);
    else
        messagePort().error(error.text);
}
