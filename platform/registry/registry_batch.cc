// File: platform/registry/registry_batch.cc
#include "platform/registry/registry_batch.h"

#include "platform/registry/internal/database.h"

namespace mvcomm::registry {

Batch::Batch() : status_(internal::Database::current(db_)) {
  if (status_ != ERROR_SUCCESS) {
    db_.reset();
    return;
  }
  db_->mutex().lock();
  status_ = db_->begin();
  if (status_ != ERROR_SUCCESS) {
    db_->mutex().unlock();
    db_.reset();
  }
}

Batch::~Batch() {
  if (!db_) return;
  db_->rollback();
  db_->mutex().unlock();
}

LONG Batch::commit() {
  if (!db_) return status_ == ERROR_SUCCESS ? ERROR_INVALID_HANDLE : status_;
  LONG err = db_->commit();
  db_->mutex().unlock();
  db_.reset();
  return err;
}

}  // namespace mvcomm::registry
