#pragma once

#include <QString>

// One row of the custom presets table; the table binds its columns to these.
class PACustomPreset
{
public:
    PACustomPreset() = default;

    QString presetName() const { return m_presetName; }
    void setPresetName(const QString& value) { m_presetName = value; }
    QString presetDescription() const { return m_presetDescription; }
    void setPresetDescription(const QString& value) { m_presetDescription = value; }
    QString presetPath() const { return m_presetPath; }
    void setPresetPath(const QString& value) { m_presetPath = value; }
    QString presetLocationID() const { return m_presetLocationID; }
    void setPresetLocationID(const QString& value) { m_presetLocationID = value; }
    QString presetLocationName() const { return m_presetLocationName; }
    void setPresetLocationName(const QString& value) { m_presetLocationName = value; }

private:
    QString m_presetName;
    QString m_presetDescription;
    QString m_presetPath;
    QString m_presetLocationID;
    QString m_presetLocationName;
};
