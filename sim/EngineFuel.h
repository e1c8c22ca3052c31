#pragma once
// The fuel side of the virtual engine: the lambda sensor answers to the fuel the tune gives.
//
// The model, step by step (every engine step, see EngineModel::setFuelHook):
//   1. Operating point: engine speed, manifold pressure, water and air temperature and battery
//      voltage pick the nearest point of each map, as the program's own lookups do; the pressure
//      against the low and high throttle vacuum thresholds picks the region and so the RPM map.
//   2. The tune's fuel: the jet (the idle jet with the throttle closed near idle, else the main
//      jet) times the factor of model/FuelEquation.h over the maps' percentages at those points,
//      times the EMU's lambda trim, plus the accelerator pump's enrichment after a tip-in. The
//      fuel is cut on the overrun (throttle below "Fuel Cut-off TPS" and pressure below "Fuel
//      Cut-off Vac") and above "Fuel Cut-off RPM".
//   3. The engine's true need: the same equation over the tune this EMU had when it was reset
//      (its defaults, which fit this engine), at the same points, plus the fuel errors given
//      (setErrors): "+8 % at 3000-4000 rpm in the cruise region" means the engine needs 8 % more
//      than that tune gives there, so a tune is right where its maps equal the defaults plus the
//      errors. Cold water raises the need as the default water correction says.
//   4. The mixture: given over needed, with a cycle-to-cycle spread (normal, 2 % by default).
//   5. The sensor sees the mixture of a transport delay earlier: 300 ms at 1000 RPM and below,
//      falling linearly to 100 ms at 6000 RPM and above.
//   6. A narrowband S-curve: about 0.1 V lean, 0.85 V rich, switching within about 1 % of the
//      stoichiometric mixture, with 15 mV of noise. The sensor is cold for its first 30 s and
//      reads near 0.05 V (as lean) until it has warmed; the water starts at 20 °C.
//   7. The EMU's closed loop, while the lambda sensor is on, Control Percentage is above 0, the
//      water is above 60 °C, the sensor warm, the fuel not cut and the engine not in the High
//      region: every Control Delay x 10 ms the trim moves by Control Variable / 10 % towards the
//      target (richer while the sensor reads below it), held within +- Control Percentage.
// Random numbers come from a fixed seed, so a run on a fake clock repeats exactly.
#include "sim/EngineModel.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <deque>
#include <vector>

class VirtualEmu;

// A fuel error of the engine against the default tune.
struct FuelError {
    double percent = 0; // the engine needs this much more fuel (percent of the base)
    double rpmFrom = 0; // engine speeds it applies to, RPM (inclusive)
    double rpmTo = 1e9;
    int region = 0; // 0 every region, 1 Low, 2 Cruise, 3 High
};

namespace EngineFuelText {
// "+8%@3000-4000:cruise", "-5", "+6@2000-3000", "4:high" (percent, optional RPM range after
// "@", optional region after ":"). false and *error on anything else.
bool parse(const QString &text, FuelError *out, QString *error);
} // namespace EngineFuelText

class EngineFuel {
public:
    EngineFuel();

    // The tune the engine fits: the image stream of the EMU's defaults (reset).
    void setReference(const QByteArray &imageStream) { m_reference = imageStream; }
    void setErrors(std::vector<FuelError> errors) { m_errors = std::move(errors); }
    const std::vector<FuelError> &errors() const { return m_errors; }
    void setMixtureSpread(double fraction) { m_spread = fraction; }
    void setSeed(quint32 seed) { m_rng.seed(seed); }

    // One engine step: sets s.lambda and s.injectorMs from the tune the EMU holds now.
    void step(const VirtualEmu &emu, double t, double dt, EngineState &s, bool overrun,
              double tpsRate);

    // The percent the region's RPM map point must hold for the engine to get what it needs, all
    // other maps as they are: the reference value plus the errors at that point (RPM map point
    // p of region 1..3 at its axis position).
    double trueRpmMapValue(const VirtualEmu &emu, int region, int p) const;
    // Transport delay from the exhaust valve to the sensor, seconds.
    static double transportDelay(double rpm);
    // The EMU's lambda trim now, percent.
    double trim() const { return m_trim; }
    // The mixture the sensor sees now (given / needed).
    double sensedMixture() const { return m_sensed; }

private:
    double errorAt(double rpm, int region) const;

    QByteArray m_reference;
    std::vector<FuelError> m_errors;
    double m_spread = 0.02;
    QRandomGenerator m_rng{424242};
    struct Burnt {
        double t;
        double mixture;
    };
    std::deque<Burnt> m_exhaust; // mixtures on their way to the sensor
    double m_sensed = 1;
    double m_trim = 0;
    double m_trimClock = 0;
    double m_pump = 0; // accelerator pump enrichment still active, percent
};
