#include "GraphicsPath.h"

GraphicsPath::GraphicsPath() : _commands(new std::vector<GraphicsPathCommand*>) {}

GraphicsPath::~GraphicsPath()
{
  for (GraphicsPathCommand* command : *_commands)
    delete command;
  delete _commands;
}

void GraphicsPath::moveTo(const Point& point)
{
  _commands->push_back(new GraphicsPathMoveToPoint(point));
}

void GraphicsPath::lineTo(const Point& point)
{
  _commands->push_back(new GraphicsPathLineToPoint(point));
}

void GraphicsPath::arc(const Point& centre, double radius, double angle1, double angle2, bool forward)
{
  _commands->push_back(new GraphicsPathArc(centre, radius, angle1, angle2, forward));
}

void GraphicsPath::draw(GraphicsContext* context)
{
  context->beginPath();
  for (GraphicsPathCommand* command : *_commands)
    command->execute(context);
  context->endPath();
}
