// SPDX-License-Identifier: MIT
#include "values/value_transformer.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace zel {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<ValueTransformer>, std::less<>> byName;
  std::vector<std::string> order;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

Value ValueTransformer::reverseTransformedValue(const Value& /*value*/) const {
  throw std::logic_error("this value transformer does not allow reverse transformation");
}

void ValueTransformer::setValueTransformer(std::shared_ptr<ValueTransformer> transformer,
                                           const std::string& name) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.byName.insert_or_assign(name, std::move(transformer)).second)
    r.order.push_back(name);
}

std::shared_ptr<ValueTransformer> ValueTransformer::valueTransformerForName(
    const std::string& name) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto found = r.byName.find(name);
  return found == r.byName.end() ? nullptr : found->second;
}

std::vector<std::string> ValueTransformer::valueTransformerNames() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.order;
}

}  // namespace zel
