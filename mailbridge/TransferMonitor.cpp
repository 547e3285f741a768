#include "mailbridge/TransferMonitor.h"

namespace {

class NoMonitor final : public TransferMonitor
{
public:
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return false; }
};

} // namespace

TransferMonitor &TransferMonitor::none()
{
    static NoMonitor monitor;
    return monitor;
}
