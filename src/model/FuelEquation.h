#pragma once
// How the fuel maps and the jets set the fuel the EMU gives. The EMU's own equation is not
// published; this is the one place that states what this program assumes about it, and both the
// virtual engine and the fuel suggestions use it.
//
// Assumption: the percentages of the maps that apply at an operating point add up, and their sum
// scales the jet's base quantity:
//
//     fuel = base(jet) x (1 + (vacuum map + RPM map of the region + water + air + battery) / 100)
//
// and the lambda trim, when the EMU runs its closed loop, scales the result once more.
//
// Why adding rather than multiplying: every map holds whole percent around 0 ("no change"), with
// ranges of +-50 or +-60, and each is tuned as an offset of its own; adding keeps one point of
// one map meaning "one percent of the base fuel" whatever the other maps hold, which is what a
// tuner reads from a chart. For the few percent a suggestion moves a point the two readings
// differ by the product of two small percentages, well under the one percent a map can hold.
namespace emu::model {

struct FuelTerms {
    double vacuumMap = 0; // fuel vacuum map at the operating point, %
    double rpmMap = 0;    // the region's fuel RPM map at the operating point, %
    double water = 0;     // water temperature correction, %
    double air = 0;       // air temperature correction, %
    double battery = 0;   // voltage correction, %
    double total() const { return vacuumMap + rpmMap + water + air + battery; }
};

// The factor on the base fuel: 1 + total / 100 (never below 0).
double fuelFactor(const FuelTerms &terms);
// The base quantity a jet value gives, relative to the middle of its range (the main jet at 128
// and the idle jet at 100 give 1).
double mainJetFactor(int mainJet);
double idleJetFactor(int idleJet);
// The change of one map point (in percent) that scales the fuel by `ratio` when the maps add up
// to `totalPercent` there: (100 + total) x (ratio - 1).
double mapChangeFor(double ratio, double totalPercent);

} // namespace emu::model
