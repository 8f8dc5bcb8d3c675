#pragma once

// Switches Qt's accessibility on for a test. QAccessible sends its events (and so calls an update
// handler) only while the platform's accessibility is active, which on the offscreen platform only
// Qt's platform layer can set: these declarations name the two exported functions of that layer
// that do it, without its private headers. The offscreen platform keeps Qt's default accessibility
// object, so QPlatformIntegration's own accessibility() is the one QAccessible asks.
class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility *accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration *platform_integration;
};

inline bool SetAccessibilityActive(bool active)
{
    QPlatformIntegration *integration = QGuiApplicationPrivate::platform_integration;
    QPlatformAccessibility *accessibility = integration ? integration->accessibility() : nullptr;
    if (!accessibility)
        return false;
    accessibility->setActive(active);
    return true;
}
