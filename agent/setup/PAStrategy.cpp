#include "setup/PAStrategy.h"

PAStrategy::PAStrategy(const QString& name, const QString& name2, const QString& description, int num,
                       const QIcon& image, bool isWizard)
    : m_strategyName(name)
    , m_strategyName2(name2)
    , m_strategyDescription(description)
    , m_strategyNumber(num)
    , m_strategyImage(image)
    , m_isWizard(isWizard)
{
}
