#include "model/FuelEquation.h"

#include <algorithm>

namespace emu::model {

double fuelFactor(const FuelTerms &terms) {
    return std::max(0.0, 1.0 + terms.total() / 100.0);
}

double mainJetFactor(int mainJet) {
    return std::max(0, mainJet) / 128.0;
}

double idleJetFactor(int idleJet) {
    return std::max(0, idleJet) / 100.0;
}

double mapChangeFor(double ratio, double totalPercent) {
    return (100.0 + totalPercent) * (ratio - 1.0);
}

} // namespace emu::model
