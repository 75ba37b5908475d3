#pragma once
// The document of the single-document window. All simulation data lives in
// SimulationState, so the document holds nothing; it exists so that the
// window has the usual document/frame/view structure.

#include <QObject>

namespace brelvik {

class CBrelvikDoc : public QObject {
  Q_OBJECT
 public:
  explicit CBrelvikDoc(QObject* parent = nullptr) : QObject(parent) {}
  // A fresh document needs no preparation.
  bool onNewDocument() { return true; }
};

}  // namespace brelvik
