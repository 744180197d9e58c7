#pragma once

// Paths: a figure kept as move, line and arc commands.

#include "GraphicsContext.h"

#include <vector>

class GraphicsPathCommand {
public:
  virtual ~GraphicsPathCommand() {}
  virtual void execute(GraphicsContext* context) = 0;
};

class GraphicsPathMoveToPoint : public GraphicsPathCommand {
public:
  explicit GraphicsPathMoveToPoint(const Point& point) : _point(point) {}
  void execute(GraphicsContext* context) override { context->moveTo(_point); }

private:
  Point _point;
};

class GraphicsPathLineToPoint : public GraphicsPathCommand {
public:
  explicit GraphicsPathLineToPoint(const Point& point) : _point(point) {}
  void execute(GraphicsContext* context) override { context->lineTo(_point); }

private:
  Point _point;
};

class GraphicsPathArc : public GraphicsPathCommand {
public:
  GraphicsPathArc(const Point& centre, double radius, double angle1, double angle2, bool forward)
      : _centre(centre), _radius(radius), _angle1(angle1), _angle2(angle2), _forward(forward) {}
  void execute(GraphicsContext* context) override { context->arc(_centre, _radius, _angle1, _angle2, _forward); }

private:
  Point _centre;
  double _radius;
  double _angle1, _angle2;  // radians
  bool _forward;
};

// A figure recorded once and replayed on any context; snapping and the
// hand-drawn mode apply at replay.
class GraphicsPath {
public:
  GraphicsPath();
  ~GraphicsPath();
  GraphicsPath(const GraphicsPath&) = delete;
  GraphicsPath& operator=(const GraphicsPath&) = delete;

  void moveTo(const Point& point);
  void lineTo(const Point& point);
  void arc(const Point& centre, double radius, double angle1, double angle2, bool forward);
  void draw(GraphicsContext* context);

private:
  std::vector<GraphicsPathCommand*>* _commands;
};
