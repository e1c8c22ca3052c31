#pragma once
// A small engine for the virtual EMU: throttle follows a repeating drive cycle, engine speed,
// manifold pressure and injector time follow the throttle, the water warms up over minutes.
// Time comes from outside (seconds since the engine started), so a fake clock drives it too.
// A scripted drive (setDrive) replaces the cycle; a fuel hook (setFuelHook, the virtual EMU's
// fuel model) sets the injector time and the lambda sensor from the tune on every step.
#include "sim/ScriptedDrive.h"

#include <QByteArray>
#include <functional>
#include <optional>

struct EngineState {
    double rpm = 900;        // RPM
    double vacuum = 0.35;    // manifold pressure reading, bar
    double tps = 0;          // throttle, percent
    double lambda = 0.45;    // lambda sensor, volts
    double waterTemp = 20;   // °C
    double airTemp = 25;     // °C
    double pot = 50;         // tuning pot, percent
    double battery = 13.8;   // volts
    double injectorMs = 2.5; // injector opening time, ms
};

class EngineModel {
public:
    // rpmRange in RPM; mapFullScaleBar is the map sensor's full scale (S / 10).
    explicit EngineModel(double rpmRange = 7000, double mapFullScaleBar = 1.0);

    void setRpmRange(double rpm) { m_rpmRange = rpm > 0 ? rpm : 7000; }
    void setMapFullScale(double bar) { m_fullScale = bar > 0 ? bar : 1.0; }
    // Move the engine to time t (seconds); earlier times are ignored.
    void advanceTo(double t);
    const EngineState &state() const { return m_state; }
    double time() const { return m_t; }

    // The throttle the driver asks for at time t (percent), a 40 s cycle of idle, pull,
    // cruise, full throttle, overrun and cruise again.
    static double throttleDemand(double t);

    // The live data frame of a state: nine bytes, each value + 1 with the link's biases
    // (air temperature + 21, vacuum and POT scaled to 0..255); values outside a byte are clamped.
    static QByteArray frame(const EngineState &s, double mapFullScaleBar);

    // Drive the engine by a script from the present time on; an empty drive goes back to the
    // repeating cycle.
    void setDrive(const ScriptedDrive &drive);
    bool hasDrive() const { return m_drive.has_value(); }
    // Called after every step with the time (s), the step (s), the state, whether the engine is
    // on the overrun and the throttle's rate of change (%/s); it may set lambda and injector time.
    using FuelHook =
        std::function<void(double t, double dt, EngineState &s, bool overrun, double tpsRate)>;
    void setFuelHook(FuelHook hook) { m_fuelHook = std::move(hook); }

private:
    void step(double dt);

    double m_rpmRange;
    double m_fullScale;
    double m_t = 0;
    double m_rpm = 1200;      // engine speed without its unevenness; a cold engine idles fast
    double m_pressure = 0.32; // manifold pressure without its ripple (scripted drive)
    EngineState m_state;
    std::optional<ScriptedDrive> m_drive;
    double m_driveStart = 0;
    FuelHook m_fuelHook;
};
