#include "platform/Profile.h"

#include <QSettings>
#include <QString>

namespace platform {
namespace {

constexpr const char* kOrganisation = "Brenwick";
constexpr const char* kApplication = "Quorbel";

QString Key(const char* section, const char* entry) {
    return QString::fromLatin1(section) + QLatin1Char('/') + QString::fromLatin1(entry);
}

}  // namespace

std::string CProfile::GetProfileString(const char* section, const char* entry,
                                       const std::string& defaultValue) {
    QSettings settings(kOrganisation, kApplication);
    const QVariant value = settings.value(Key(section, entry));
    if (!value.isValid() || !value.canConvert<QString>()) return defaultValue;
    return value.toString().toStdString();
}

int CProfile::GetProfileInt(const char* section, const char* entry, int defaultValue) {
    QSettings settings(kOrganisation, kApplication);
    const QVariant value = settings.value(Key(section, entry));
    bool ok = false;
    const int number = value.toInt(&ok);
    // A hand-edited profile may hold anything; only a whole number counts.
    return ok ? number : defaultValue;
}

void CProfile::WriteProfileString(const char* section, const char* entry,
                                  const std::string& value) {
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(Key(section, entry), QString::fromStdString(value));
}

void CProfile::WriteProfileInt(const char* section, const char* entry, int value) {
    QSettings settings(kOrganisation, kApplication);
    settings.setValue(Key(section, entry), value);
}

}  // namespace platform
