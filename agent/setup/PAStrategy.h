#pragma once

#include <QIcon>
#include <QString>

// One row of the strategies table; the table binds its columns to these.
class PAStrategy
{
public:
    PAStrategy(const QString& name, const QString& name2, const QString& description, int num,
               const QIcon& image, bool isWizard);

    QString strategyName() const { return m_strategyName; }
    void setStrategyName(const QString& value) { m_strategyName = value; }
    QString strategyName2() const { return m_strategyName2; }
    void setStrategyName2(const QString& value) { m_strategyName2 = value; }
    QString strategyDescription() const { return m_strategyDescription; }
    void setStrategyDescription(const QString& value) { m_strategyDescription = value; }
    // Picks the built-in preset, the steps of activation and the options tab.
    int strategyNumber() const { return m_strategyNumber; }
    void setStrategyNumber(int value) { m_strategyNumber = value; }
    QIcon strategyImage() const { return m_strategyImage; }
    void setStrategyImage(const QIcon& value) { m_strategyImage = value; }
    // The row that starts the configuration assistant instead of a preset.
    bool isWizard() const { return m_isWizard; }
    void setIsWizard(bool value) { m_isWizard = value; }

private:
    QString m_strategyName;
    QString m_strategyName2;
    QString m_strategyDescription;
    int m_strategyNumber = 0;
    QIcon m_strategyImage;
    bool m_isWizard = false;
};
