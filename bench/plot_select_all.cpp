// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the "select all" timings against library size as a log-log plot in a PNG file:
// the reference walk (linear work per draw, so quadratic in all) and the fast path (a
// tree of partial sums), each with the default weights and with mixed weights, seconds
// against the number of candidates, with decade grid lines.
//
// Usage: sorvina-plot-select-all IN.tsv OUT.png
//   IN.tsv  lines "CANDIDATES<TAB>REFERENCE_S<TAB>FAST_S<TAB>MIXED_REFERENCE_S<TAB>MIXED_FAST_S"
//           (the last two may be left out), "-" for a series not measured at that size;
//           lines starting with # and blank lines are skipped
// Exits with 1 and a message when the input cannot be read or the picture not saved.
//
// Runs on the offscreen platform unless a platform is chosen (QT_QPA_PLATFORM).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 560;
// The plot area's distance from the picture's edges: room for the title above, the tick
// labels and axis titles to the left and below.
constexpr int kLeft = 100;
constexpr int kRight = 30;
constexpr int kTop = 56;
constexpr int kBottom = 72;

const QColor kReferenceColour(0xC0, 0x39, 0x2B);
const QColor kFastColour(0x1F, 0x6F, 0xB4);
const QColor kMixedReferenceColour(0xE6, 0x7E, 0x22);
const QColor kMixedFastColour(0x27, 0xAE, 0x60);
const QColor kDecadeGrid(0xC4, 0xC4, 0xC4);
const QColor kMinorGrid(0xEE, 0xEE, 0xEE);
const QColor kInk(0x22, 0x22, 0x22);

// The series, in the order of the input's columns.
constexpr int kSeries = 4;
struct Series {
  const char* legend;
  const QColor* colour;
  bool squares;
};
const Series kAllSeries[kSeries] = {
    {"reference walk, default weights", &kReferenceColour, false},
    {"fast path, default weights", &kFastColour, true},
    {"reference walk, mixed weights", &kMixedReferenceColour, false},
    {"fast path, mixed weights", &kMixedFastColour, true},
};

struct Row {
  double candidates = 0;
  std::optional<double> seconds[kSeries];
};

// A positive finite number, or "-" for none; anything else is an error.
bool ParsePositive(const std::string& field, std::optional<double>& value) {
  if (field == "-") {
    value.reset();
    return true;
  }
  std::size_t used = 0;
  try {
    const double number = std::stod(field, &used);
    if (used != field.size() || !std::isfinite(number) || number <= 0) return false;
    value = number;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The rows of `path`, or a message in `error`.
std::optional<std::vector<Row>> ReadRows(const char* path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = std::string("cannot read ") + path;
    return std::nullopt;
  }
  std::vector<Row> rows;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; split >> field;)
      fields.push_back(field);
    Row row;
    std::optional<double> candidates;
    bool valid = (fields.size() == 3 || fields.size() == 1 + kSeries) &&
                 ParsePositive(fields[0], candidates) && candidates.has_value();
    for (std::size_t field = 1; valid && field < fields.size(); ++field)
      valid = ParsePositive(fields[field], row.seconds[field - 1]);
    if (!valid) {
      error = std::string(path) + ":" + std::to_string(number) +
              ": expected the candidates and 2 or 4 times in seconds, positive numbers or -";
      return std::nullopt;
    }
    row.candidates = *candidates;
    rows.push_back(row);
  }
  if (in.bad()) {
    error = std::string("cannot read ") + path;
    return std::nullopt;
  }
  std::sort(rows.begin(), rows.end(),
            [](const Row& a, const Row& b) { return a.candidates < b.candidates; });
  return rows;
}

// Powers of ten that enclose `low` to `high`, as exponents; at least one decade apart.
std::pair<int, int> Decades(double low, double high) {
  int first = static_cast<int>(std::floor(std::log10(low) + 1e-9));
  int last = static_cast<int>(std::ceil(std::log10(high) - 1e-9));
  if (last <= first) last = first + 1;
  return {first, last};
}

QString CountLabel(int exponent) {
  static const char* const kSuffixes[] = {"", "k", "M", "G"};
  if (exponent < 0 || exponent >= 12) return QStringLiteral("1e%1").arg(exponent);
  const int value = static_cast<int>(std::lround(std::pow(10.0, exponent % 3)));
  return QStringLiteral("%1%2").arg(value).arg(QString::fromLatin1(kSuffixes[exponent / 3]));
}

QString SecondsLabel(int exponent) {
  if (exponent >= 0) {
    return QStringLiteral("%1 s").arg(
        static_cast<long long>(std::llround(std::pow(10.0, exponent))));
  }
  static const char* const kUnits[] = {"ms", "\u00B5s", "ns"};
  const int unit = (-exponent - 1) / 3;
  if (unit > 2) return QStringLiteral("1e%1 s").arg(exponent);
  const int value = static_cast<int>(std::lround(std::pow(10.0, (exponent % 3 + 3) % 3)));
  return QStringLiteral("%1 %2").arg(value).arg(QString::fromUtf8(kUnits[unit]));
}

class LogLogPlot {
 public:
  LogLogPlot(QRectF area, std::pair<int, int> xDecades, std::pair<int, int> yDecades)
      : area_(area), x_(xDecades), y_(yDecades) {}

  QPointF At(double x, double y) const {
    const double fx = (std::log10(x) - x_.first) / (x_.second - x_.first);
    const double fy = (std::log10(y) - y_.first) / (y_.second - y_.first);
    return {area_.left() + fx * area_.width(), area_.bottom() - fy * area_.height()};
  }

  void DrawGrid(QPainter& painter) const {
    const QFont labels = Font(13, false);
    painter.setFont(labels);
    const QFontMetrics metrics(labels);
    // Lines at 2..9 of each decade, faint, then the decades over them.
    painter.setPen(QPen(kMinorGrid, 1));
    for (int decade = x_.first; decade < x_.second; ++decade) {
      for (int step = 2; step <= 9; ++step) {
        const double x = At(step * std::pow(10.0, decade), std::pow(10.0, y_.first)).x();
        painter.drawLine(QPointF(x, area_.top()), QPointF(x, area_.bottom()));
      }
    }
    for (int decade = y_.first; decade < y_.second; ++decade) {
      for (int step = 2; step <= 9; ++step) {
        const double y = At(std::pow(10.0, x_.first), step * std::pow(10.0, decade)).y();
        painter.drawLine(QPointF(area_.left(), y), QPointF(area_.right(), y));
      }
    }
    for (int decade = x_.first; decade <= x_.second; ++decade) {
      const double x = At(std::pow(10.0, decade), std::pow(10.0, y_.first)).x();
      painter.setPen(QPen(kDecadeGrid, 1));
      painter.drawLine(QPointF(x, area_.top()), QPointF(x, area_.bottom()));
      painter.setPen(kInk);
      const QString text = CountLabel(decade);
      const double width = metrics.horizontalAdvance(text);
      painter.drawText(QPointF(x - width / 2, area_.bottom() + 8 + metrics.ascent()), text);
    }
    for (int decade = y_.first; decade <= y_.second; ++decade) {
      const double y = At(std::pow(10.0, x_.first), std::pow(10.0, decade)).y();
      painter.setPen(QPen(kDecadeGrid, 1));
      painter.drawLine(QPointF(area_.left(), y), QPointF(area_.right(), y));
      painter.setPen(kInk);
      const QString text = SecondsLabel(decade);
      const double width = metrics.horizontalAdvance(text);
      painter.drawText(QPointF(area_.left() - 10 - width, y + metrics.ascent() / 2.0 - 1), text);
    }
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area_);
  }

  // A line through the measured points of one series, and a marker on each.
  void DrawSeries(QPainter& painter, const std::vector<Row>& rows, int series, const QColor& colour,
                  bool squares) const {
    QPainterPath path;
    std::vector<QPointF> points;
    for (const Row& row : rows) {
      if (!row.seconds[series]) continue;
      const QPointF point = At(row.candidates, *row.seconds[series]);
      points.empty() ? path.moveTo(point) : path.lineTo(point);
      points.push_back(point);
    }
    painter.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    for (const QPointF& point : points)
      DrawMarker(painter, point, colour, squares);
  }

  static void DrawMarker(QPainter& painter, QPointF at, const QColor& colour, bool square) {
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(colour);
    const QRectF box(at.x() - 5, at.y() - 5, 10, 10);
    square ? painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5)) : painter.drawEllipse(box);
  }

  static QFont Font(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
  }

 private:
  QRectF area_;
  std::pair<int, int> x_;
  std::pair<int, int> y_;
};

QImage Draw(const std::vector<Row>& rows) {
  // The ranges of the measured points; a size measured for neither series is left out.
  double xLow = HUGE_VAL;
  double xHigh = 0;
  double yLow = HUGE_VAL;
  double yHigh = 0;
  for (const Row& row : rows) {
    for (const std::optional<double>& seconds : row.seconds) {
      if (!seconds) continue;
      xLow = std::min(xLow, row.candidates);
      xHigh = std::max(xHigh, row.candidates);
      yLow = std::min(yLow, *seconds);
      yHigh = std::max(yHigh, *seconds);
    }
  }
  const QRectF area(kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
  const LogLogPlot plot(area, Decades(xLow, xHigh), Decades(yLow, yHigh));

  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  painter.setPen(kInk);
  painter.setFont(LogLogPlot::Font(19, true));
  painter.drawText(QRectF(area.left(), 0, area.width(), kTop - 8),
                   Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("Select all: time against library size"));

  plot.DrawGrid(painter);
  for (int series = 0; series < kSeries; ++series) {
    plot.DrawSeries(painter, rows, series, *kAllSeries[series].colour, kAllSeries[series].squares);
  }

  // Axis titles: below the tick labels, and turned along the left edge.
  const QFont titles = LogLogPlot::Font(14, false);
  painter.setFont(titles);
  painter.setPen(kInk);
  painter.drawText(QRectF(area.left(), kHeight - 30, area.width(), 24), Qt::AlignCenter,
                   QStringLiteral("Candidates in the pool (log scale)"));
  painter.save();
  painter.translate(22, area.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-area.height() / 2, -12, area.height(), 24), Qt::AlignCenter,
                   QStringLiteral("Seconds per run (log scale)"));
  painter.restore();

  // The legend in the upper left corner, which the series leave free: time grows with size.
  const QFont legendFont = LogLogPlot::Font(13, false);
  const QFontMetrics metrics(legendFont);
  painter.setFont(legendFont);
  const double lineHeight = 22;
  int textWidth = 0;
  for (const Series& series : kAllSeries)
    textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromUtf8(series.legend)));
  const QRectF box(area.left() + 14, area.top() + 14, 12 + 34 + 8 + textWidth + 12,
                   10 + kSeries * lineHeight + 4);
  painter.setPen(QPen(kDecadeGrid, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(box);
  for (int i = 0; i < kSeries; ++i) {
    const double y = box.top() + 7 + lineHeight * (i + 0.5);
    const QColor& colour = *kAllSeries[i].colour;
    painter.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(box.left() + 12, y), QPointF(box.left() + 46, y));
    LogLogPlot::DrawMarker(painter, QPointF(box.left() + 29, y), colour, kAllSeries[i].squares);
    painter.setPen(kInk);
    painter.drawText(QPointF(box.left() + 54, y + metrics.ascent() / 2.0 - 1),
                     QString::fromUtf8(kAllSeries[i].legend));
  }
  painter.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sorvina-plot-select-all IN.tsv OUT.png\n");
    return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  std::string error;
  const std::optional<std::vector<Row>> rows = ReadRows(argv[1], error);
  if (!rows) {
    std::fprintf(stderr, "sorvina-plot-select-all: %s\n", error.c_str());
    return 1;
  }
  const bool measured = std::any_of(rows->begin(), rows->end(), [](const Row& row) {
    return std::any_of(std::begin(row.seconds), std::end(row.seconds),
                       [](const std::optional<double>& seconds) { return seconds.has_value(); });
  });
  if (!measured) {
    std::fprintf(stderr, "sorvina-plot-select-all: %s holds no measured time\n", argv[1]);
    return 1;
  }
  if (!Draw(*rows).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "sorvina-plot-select-all: cannot save %s\n", argv[2]);
    return 1;
  }
  return 0;
}
