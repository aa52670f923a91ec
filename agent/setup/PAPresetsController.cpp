#include "PAPresetsController.h"

PAPresetsController::PAPresetsController(QObject* parent)
    : QObject(parent)
{
}
