#include "gui/dialogs/flow_lines_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include <mutex>

#include "gui/app/dialog_support.h"
#include "gui/app/error_text.h"
#include "gui/app/number_text.h"
#include "grid/geometry.h"
#include "post/streamlines.h"
#include "state/simulation_state.h"

namespace brelvik {

CDialog_Flow_Lines::CDialog_Flow_Lines(SimulationState& s, QWidget* parent)
    : QDialog(parent), s_(s) {
  setObjectName(QStringLiteral("CDialog_Flow_Lines"));
  setWindowTitle(QStringLiteral("Линии тока"));

  auto* layout = new QHBoxLayout(this);

  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(new QLabel(QStringLiteral("x y z"), this));
  seeds_ = new QListWidget(this);
  seeds_->setObjectName(QStringLiteral("1025"));
  seeds_->setSortingEnabled(false);
  seeds_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  listColumn->addWidget(seeds_);
  layout->addLayout(listColumn);

  auto* controls = new QVBoxLayout;
  {
    auto* box = new QGroupBox(QStringLiteral("Точка"), this);
    auto* grid = new QGridLayout(box);
    const char* labels[3] = {"x", "y", "z"};
    const int ids[3] = {1015, 1016, 1018};
    for (int c = 0; c < 3; ++c) {
      point_[c] = makeEdit(ids[c], box, kNumberEditWidth);
      grid->addWidget(new QLabel(QString::fromLatin1(labels[c]), box), 0, c * 2);
      grid->addWidget(point_[c], 0, c * 2 + 1);
    }
    QPushButton* add = makeButton(1020, QStringLiteral("Добавить"), box);
    grid->addWidget(add, 1, 5);
    connect(add, &QPushButton::clicked, this, &CDialog_Flow_Lines::addPoint);
    controls->addWidget(box);
  }
  {
    auto* box = new QGroupBox(QStringLiteral("Круг"), this);
    auto* grid = new QGridLayout(box);
    const char* labels[3] = {"x", "y", "z"};
    const int ids[3] = {1021, 1022, 1023};
    for (int c = 0; c < 3; ++c) {
      centre_[c] = makeEdit(ids[c], box, kNumberEditWidth);
      grid->addWidget(new QLabel(QString::fromLatin1(labels[c]), box), 0, c * 2);
      grid->addWidget(centre_[c], 0, c * 2 + 1);
    }
    radius_ = makeEdit(1026, box, kNumberEditWidth);
    count_ = makeEdit(1027, box, kNumberEditWidth);
    grid->addWidget(new QLabel(QStringLiteral("r"), box), 1, 0);
    grid->addWidget(radius_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("N"), box), 1, 2);
    grid->addWidget(count_, 1, 3);
    QPushButton* add = makeButton(1024, QStringLiteral("Добавить"), box);
    grid->addWidget(add, 1, 5);
    connect(add, &QPushButton::clicked, this, &CDialog_Flow_Lines::addCircle);
    controls->addWidget(box);
  }
  QPushButton* removeAllButton = makeButton(1019, QStringLiteral("Удалить всё"), this);
  connect(removeAllButton, &QPushButton::clicked, this, &CDialog_Flow_Lines::removeAll);
  controls->addWidget(removeAllButton);

  auto* budgetRow = new QHBoxLayout;
  budgetRow->addWidget(new QLabel(QStringLiteral("количество точек на линии"), this));
  pointBudget_ = makeEdit(1000, this, kNumberEditWidth);
  budgetRow->addWidget(pointBudget_);
  controls->addLayout(budgetRow);

  auto* runRow = new QHBoxLayout;
  startButton_ = makeButton(1017, QStringLiteral("Старт"), this);
  show_ = makeCheck(1009, QStringLiteral("показать"), this);
  runRow->addWidget(startButton_);
  runRow->addWidget(show_);
  runRow->addStretch(1);
  controls->addLayout(runRow);
  connect(startButton_, &QPushButton::clicked, this, &CDialog_Flow_Lines::startOrStop);
  connect(show_, &QCheckBox::clicked, this, [this](bool on) {
    s_.showStreamlines = on ? 1 : 0;
    s_.requestRepaint();
  });

  QPushButton* ok = makeOkButton(this);
  controls->addStretch(1);
  controls->addLayout(rightAlignedRow({ok}));
  layout->addLayout(controls);

  // The streamline thread relabels the start button when a run ends; it
  // reaches the button only through this callback, which posts to the
  // window thread and is removed when the dialog goes away.
  // The end-of-run "Старт" arrives queued: a start pressed after the run
  // ended but before it arrived has already begun a new run, whose button
  // must keep reading "Стоп" so that the next press stops it.
  s_.setFlowLineRunCallback([this](RunState state) {
    QMetaObject::invokeMethod(
        this,
        [this, state] {
          if (state == RunState::kIdle && s_.flowLineRunning.load() == 1) return;
          startButton_->setText(flowLineButtonCaption(state));
        },
        Qt::QueuedConnection);
  });
}

CDialog_Flow_Lines::~CDialog_Flow_Lines() { s_.setFlowLineRunCallback({}); }

void CDialog_Flow_Lines::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  setWindowTitle(QStringLiteral("Линии тока"));
  refillSeedList();
  pointBudget_->setText(cFormat("%d", s_.streamlinePointCount.load()));
  show_->setChecked(s_.showStreamlines == 1);
  startButton_->setText(
      flowLineButtonCaption(s_.flowLineRunning.load() == 1 ? RunState::kRunning : RunState::kIdle));
}

void CDialog_Flow_Lines::refillSeedList() {
  for (int row = seeds_->count() - 1; row >= 0; --row) delete seeds_->takeItem(row);
  std::lock_guard<std::mutex> lock(s_.seriesMutex);
  const int n = std::min({s_.seedX.size(), s_.seedY.size(), s_.seedZ.size()});
  for (int i = 0; i < n; ++i) {
    seeds_->addItem(QString::asprintf("%.2f %.2f %.2f", s_.seedX.item(i), s_.seedY.item(i),
                                      s_.seedZ.item(i)));
  }
}

void CDialog_Flow_Lines::addPoint() {
  const double x = toSingle(leadingDouble(point_[0]->text()));
  const double y = toSingle(leadingDouble(point_[1]->text()));
  const double z = toSingle(leadingDouble(point_[2]->text()));
  appendSeed(s_, Vec3{x, y, z});
  for (QLineEdit* e : point_) e->clear();
  refillSeedList();
}

// N seeds on the circle of radius r about (x0, y0, z0) in the plane x = x0;
// the edits are cleared whatever N was.
void CDialog_Flow_Lines::addCircle() {
  const double x0 = toSingle(leadingDouble(centre_[0]->text()));
  const double y0 = toSingle(leadingDouble(centre_[1]->text()));
  const double z0 = toSingle(leadingDouble(centre_[2]->text()));
  const double r = toSingle(leadingDouble(radius_->text()));
  const int N = leadingInt(count_->text());
  int seeds = 0;
  {
    std::lock_guard<std::mutex> lock(s_.seriesMutex);
    seeds = s_.seedX.size();
  }
  if (N > kMaxSeeds - seeds) {
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("N: не больше %1 точек старта всего (уже %2). Точки не добавлены.")
                             .arg(kMaxSeeds)
                             .arg(seeds));
    return;
  }
  appendCircleSeeds(s_, x0, y0, z0, r, N);
  for (QLineEdit* e : centre_) e->clear();
  radius_->clear();
  count_->clear();
  refillSeedList();
}

void CDialog_Flow_Lines::removeAll() {
  {
    std::lock_guard<std::mutex> lock(s_.seriesMutex);
    s_.seedX.clear();
    s_.seedY.clear();
    s_.seedZ.clear();
  }
  refillSeedList();
}

void CDialog_Flow_Lines::startOrStop() {
  const int budget = leadingInt(pointBudget_->text());
  int seeds = 0;
  {
    std::lock_guard<std::mutex> lock(s_.seriesMutex);
    seeds = s_.seedX.size();
  }
  // Stopping is always possible; a start needs a budget within the bounds.
  const bool starting = s_.flowLineRunning.load() == 0;
  if (starting && (budget > kMaxLinePoints ||
                   static_cast<long long>(seeds) * (budget / 2 + 1) > kMaxTracedPoints)) {
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("Количество точек на линии: не больше %1 на линию и %2 на все "
                                        "%3 линии вместе.")
                             .arg(kMaxLinePoints)
                             .arg(kMaxTracedPoints)
                             .arg(seeds));
    return;
  }
  if (budget <= kMaxLinePoints) s_.streamlinePointCount = budget;
  if (s_.flowLineRunning.load() == 0) {
    startButton_->setText(flowLineButtonCaption(RunState::kRunning));
    startFlowLines(s_);
  } else {
    stopFlowLines(s_);
    startButton_->setText(flowLineButtonCaption(RunState::kIdle));
  }
}

}  // namespace brelvik
